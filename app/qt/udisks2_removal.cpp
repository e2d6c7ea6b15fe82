#include "app/qt/udisks2_removal.h"

#include <QDBusInterface>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QEventLoop>
#include <QVariantMap>

namespace velno::qt {

namespace {

const QString kService = QStringLiteral("org.freedesktop.UDisks2");

// Calls a method and keeps the event loop turning until udisks2 answers:
// unmounting writes out what is left and can take a while.
QDBusMessage Call(const QDBusConnection& bus, const QString& path, const QString& interface,
                  const QString& method, const QVariantList& arguments) {
    QDBusMessage message = QDBusMessage::createMethodCall(kService, path, interface, method);
    message.setArguments(arguments);
    QDBusPendingCallWatcher watcher(bus.asyncCall(message));
    QEventLoop loop;
    QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
    if (!watcher.isFinished()) {
        loop.exec();
    }
    return watcher.reply();
}

QVariant Property(const QDBusConnection& bus, const QString& path, const QString& interface,
                  const QString& name) {
    const QDBusMessage reply = Call(bus, path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                    QStringLiteral("Get"), {interface, name});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return {};
    }
    return qvariant_cast<QDBusVariant>(reply.arguments().first()).variant();
}

}  // namespace

bool RemoveWithUDisks2(const QDBusConnection& bus, const std::string& device) {
    if (!bus.isConnected()) {
        return false;
    }
    const QDBusMessage resolved = Call(
        bus, QStringLiteral("/org/freedesktop/UDisks2/Manager"),
        QStringLiteral("org.freedesktop.UDisks2.Manager"), QStringLiteral("ResolveDevice"),
        {QVariantMap{{QStringLiteral("path"), QString::fromStdString(device)}}, QVariantMap{}});
    if (resolved.type() != QDBusMessage::ReplyMessage || resolved.arguments().isEmpty()) {
        return false;
    }
    const auto blocks = qdbus_cast<QList<QDBusObjectPath>>(resolved.arguments().first());
    if (blocks.size() != 1) {
        return false;
    }
    const QString block = blocks.first().path();
    const QString drive = qvariant_cast<QDBusObjectPath>(
                              Property(bus, block, QStringLiteral("org.freedesktop.UDisks2.Block"),
                                       QStringLiteral("Drive")))
                              .path();

    const QDBusMessage unmounted =
        Call(bus, block, QStringLiteral("org.freedesktop.UDisks2.Filesystem"),
             QStringLiteral("Unmount"), {QVariantMap{}});
    if (unmounted.type() != QDBusMessage::ReplyMessage) {
        return false;
    }
    const QString drive_interface = QStringLiteral("org.freedesktop.UDisks2.Drive");
    if (!drive.isEmpty() && drive != QStringLiteral("/") &&
        Property(bus, drive, drive_interface, QStringLiteral("CanPowerOff")).toBool()) {
        Call(bus, drive, drive_interface, QStringLiteral("PowerOff"), {QVariantMap{}});
    }
    return true;
}

}  // namespace velno::qt
