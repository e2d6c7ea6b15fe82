// Removal through udisks2, against a mock of it on a private D-Bus bus that
// the test starts itself. Debian's own python3 carries python3-dbusmock.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include "app/qt/udisks2_removal.h"

namespace velno::testing {
namespace {

const QString kService = QStringLiteral("org.freedesktop.UDisks2");

// The methods called on one mocked object, in order.
QStringList CallsOn(const QDBusConnection& bus, const QString& path) {
    const QDBusMessage reply = bus.call(QDBusMessage::createMethodCall(
        kService, path, QStringLiteral("org.freedesktop.DBus.Mock"), QStringLiteral("GetCalls")));
    QStringList names;
    const QDBusArgument calls = reply.arguments().value(0).value<QDBusArgument>();
    calls.beginArray();
    while (!calls.atEnd()) {
        quint64 time = 0;
        QString method;
        QVariantList arguments;
        calls.beginStructure();
        calls >> time >> method >> arguments;
        calls.endStructure();
        names << method;
    }
    calls.endArray();
    return names;
}

class PrivateBus {
public:
    PrivateBus() {
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"),
                       QStringLiteral("--print-address=1")});
        if (daemon_.waitForReadyRead(10000)) {
            address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        }
    }
    ~PrivateBus() {
        QDBusConnection::disconnectFromBus(QStringLiteral("velno-test"));
        mock_.kill();
        mock_.waitForFinished();
        daemon_.kill();
        daemon_.waitForFinished();
    }
    QDBusConnection Connect() { return QDBusConnection::connectToBus(address_, "velno-test"); }

    // Starts the mocked udisks2 and waits until it owns its name.
    bool StartUDisks2(const QString& parameters) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address_);
        mock_.setProcessEnvironment(environment);
        mock_.start(QStringLiteral("/usr/bin/python3"),
                    {QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--template"),
                     QStringLiteral(VELNO_UDISKS2_MOCK), QStringLiteral("-p"), parameters});
        for (int attempt = 0; attempt < 200; ++attempt) {
            if (Connect().interface()->isServiceRegistered(kService)) {
                return true;
            }
            QThread::msleep(50);
        }
        return false;
    }

private:
    QProcess daemon_;
    QProcess mock_;
    QString address_;
};

TEST(UDisks2Removal, UnmountsThenPowersOffWhereAllowed) {
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty() ||
        QProcess::execute(QStringLiteral("/usr/bin/python3"),
                          {QStringLiteral("-c"), QStringLiteral("import dbusmock")}) != 0) {
        GTEST_SKIP() << "needs dbus-daemon and python3-dbusmock (scripts/install-deps.sh)";
    }
    struct Case {
        const char* name;
        const char* parameters;  // nullptr: no udisks2 on the bus
        const char* device;
        bool removed;
        QStringList drive_calls;
    };
    const QString power_off = QStringLiteral("PowerOff");
    const Case cases[] = {
        {"success", "{}", "/dev/sdz1", true, {power_off}},
        {"drive cannot power off", R"({"can_power_off": false})", "/dev/sdz1", true, {}},
        {"busy volume", R"({"busy": true})", "/dev/sdz1", false, {}},
        {"unknown device", "{}", "/dev/sdy1", false, {}},
        {"no service", nullptr, "/dev/sdz1", false, {}},
    };
    for (const Case& c : cases) {
        PrivateBus bus;
        if (c.parameters != nullptr) {
            ASSERT_TRUE(bus.StartUDisks2(QString::fromUtf8(c.parameters))) << c.name;
        }
        EXPECT_EQ(qt::RemoveWithUDisks2(bus.Connect(), c.device), c.removed) << c.name;
        if (c.parameters != nullptr) {
            const QString block = QStringLiteral("/org/freedesktop/UDisks2/block_devices/sdz1");
            const QString drive = QStringLiteral("/org/freedesktop/UDisks2/drives/VELNO");
            const bool known = std::string(c.device) == "/dev/sdz1";
            EXPECT_EQ(CallsOn(bus.Connect(), block).contains(QStringLiteral("Unmount")), known)
                << c.name;
            EXPECT_EQ(CallsOn(bus.Connect(), drive).filter(power_off), c.drive_calls) << c.name;
        }
    }
}

}  // namespace
}  // namespace velno::testing

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
