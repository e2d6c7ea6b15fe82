// Removal through udisks2, against python3-dbusmock on a private D-Bus bus.

#include <gtest/gtest.h>

#include <QtCore>
#include <QtDBus>

#include "app/qt/udisks2_removal.h"

const QString kUDisks2 = "org.freedesktop.UDisks2";

TEST(UDisks2Removal, UnmountsThenPowersOff) {
    if (QStandardPaths::findExecutable("dbus-daemon").isEmpty() ||
        QProcess::execute("/usr/bin/python3", {"-c", "import dbusmock"}) != 0) {
        GTEST_SKIP() << "needs dbus-daemon and python3-dbusmock (scripts/install-deps.sh)";
    }
    // The mock's parameters (nullptr: no udisks2 on the bus), and whether the
    // volume is removed and so its drive, which can, powered off.
    for (const auto& [mock_parameters, removed] :
         {std::pair{"{}", true}, {R"({"busy": true})", false}, {nullptr, false}}) {
        QProcess daemon, mock;
        daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        ASSERT_TRUE(daemon.waitForReadyRead(10000)) << mock_parameters;
        const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
        QDBusConnection bus = QDBusConnection::connectToBus(address, address);
        QTemporaryDir dir;  // the mock logs there each method called on it
        if (mock_parameters != nullptr) {
            qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());  // the mock's bus
            mock.start("/usr/bin/python3", {"-m", "dbusmock", "--template", VELNO_UDISKS2_MOCK,
                                            "-l", dir.filePath("calls"), "-p", mock_parameters});
            for (int i = 0; i < 200 && !bus.interface()->isServiceRegistered(kUDisks2); ++i)
                QThread::msleep(50);
        }
        EXPECT_EQ(velno::qt::RemoveWithUDisks2(bus, "/dev/sdz1"), removed) << mock_parameters;
        QFile log(dir.filePath("calls"));
        const QString calls = log.open(QIODevice::ReadOnly) ? log.readAll() : "";
        EXPECT_EQ(calls.contains(" Unmount "), mock_parameters != nullptr) << mock_parameters;
        EXPECT_EQ(calls.contains(" PowerOff "), removed) << mock_parameters;
        mock.close();  // kills it and waits
        daemon.close();
    }
}

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
