// The updater on Linux: the instrument is a mounted FAT32 volume labelled
// VELNO, the update lies in "mtmp" beside this program.

#include <QApplication>

#include "app/qt/program.h"
#include "platform/linux/linux_platform.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    velno::platform::linux_host::LinuxPlatform platform;
    velno::qt::Program program(platform);
    if (!program.Start()) {
        return 0;
    }
    return QApplication::exec();
}
