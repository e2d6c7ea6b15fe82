// The updater on Linux: the instrument is a mounted FAT32 volume labelled
// VELNO, the update lies in "mtmp" beside this program, or in the folder
// given as the one argument or chosen at start (app/qt/update_folder.h).

#include <QApplication>
#include <cstdio>

#include "app/controller.h"
#include "app/qt/form1_window.h"
#include "app/qt/udisks2_removal.h"
#include "app/qt/update_folder.h"
#include "app/qt/user_services.h"
#include "platform/errors.h"
#include "platform/linux/linux_platform.h"

namespace linux_host = velno::platform::linux_host;

namespace {

// Whether a folder holds an mtmp folder, looked up as the update run looks
// it up. A folder that cannot be told (no /proc, so the program's own
// folder is unknown) is taken to hold one: the run reports the fault then.
bool HoldsUpdate(const std::string& folder) {
    if (folder.empty()) {
        return true;
    }
    try {
        linux_host::LinuxHostOptions options;
        options.application_folder = folder;
        linux_host::LinuxPlatform host(std::move(options));
        return host.CreateFileSystemObject("Scripting.FileSystemObject")
            ->FolderExists(host.GetRuntime().ApplicationFolder() + "\\mtmp");
    } catch (const velno::platform::PlatformError&) {
        return false;
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.size() > 1) {
        std::fputs("usage: velno-updater [FOLDER]   (FOLDER holds the update's mtmp)\n", stderr);
        return velno::app::Controller::kFailure;
    }
    std::string own_folder;
    try {
        own_folder = linux_host::ExecutableFolder();
    } catch (const velno::platform::PlatformError&) {
    }
    const std::optional<std::string> folder =
        velno::qt::UpdateFolder(arguments, HoldsUpdate, own_folder);
    if (!folder) {
        return velno::app::Controller::kFailure;
    }
    // The instrument is made safe to unplug through the system's volume
    // manager once the run has written everything out.
    linux_host::LinuxHostOptions options;
    options.application_folder = *folder;
    options.remove_device = [](const std::string& device) {
        return velno::qt::RemoveWithUDisks2(QDBusConnection::systemBus(), device);
    };
    linux_host::LinuxPlatform platform(std::move(options));
    velno::qt::Form1Window window;
    velno::qt::QtUserServices user(&window);
    velno::app::Controller controller(platform, user, window);
    return controller.Run([] { QApplication::exec(); });
}
