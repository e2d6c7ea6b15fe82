// The updater on Linux: the instrument is a mounted FAT32 volume labelled
// VELNO, the update lies in "mtmp" beside this program.

#include <QApplication>

#include "app/controller.h"
#include "app/qt/form1_window.h"
#include "app/qt/udisks2_removal.h"
#include "app/qt/user_services.h"
#include "platform/linux/linux_platform.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    // The instrument is made safe to unplug through the system's volume
    // manager once the run has written everything out.
    velno::platform::linux_host::LinuxHostOptions options;
    options.remove_device = [](const std::string& device) {
        return velno::qt::RemoveWithUDisks2(QDBusConnection::systemBus(), device);
    };
    velno::platform::linux_host::LinuxPlatform platform(std::move(options));
    velno::qt::Form1Window window;
    velno::qt::QtUserServices user(&window);
    velno::app::Controller controller(platform, user, window);
    return controller.Run([] { QApplication::exec(); });
}
