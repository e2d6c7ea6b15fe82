#include "app/form1.h"

namespace velno::app {

namespace {

constexpr const char* kFileSystemClass = "Scripting.FileSystemObject";

bool Qualifies(platform::Drive& drive) {
    // Type first, then readiness: a drive that is not a ready fixed disk is
    // never asked for more, so a network or empty removable drive is not
    // touched, and its label and file system are never read.
    if (drive.DriveType() != platform::kDriveFixed || !drive.IsReady()) {
        return false;
    }
    const std::string label = drive.VolumeName();
    const std::string file_system = drive.FileSystem();
    return label == "VELNO" && file_system == "FAT32";
}

}  // namespace

void Form1::DetectInstrument() {
    instrument_.file_system = platform_.CreateFileSystemObject(kFileSystemClass);
    instrument_.drive_list = instrument_.file_system->Drives();

    for (;;) {
        instrument_.drive_path.clear();
        // Each scan walks the drives present now, so an instrument connected
        // before Retry is found.
        for (const std::shared_ptr<platform::Drive>& drive : instrument_.drive_list->Walk()) {
            if (!Qualifies(*drive)) {
                continue;
            }
            view_.SetCaption(std::string(kCaptionPrefix) +
                             platform::SerialNumberText(drive->SerialNumber()));
            instrument_.drive = drive;
            instrument_.drive_path = drive->Path();
            instrument_.root_folder = drive->RootFolder();
            break;
        }
        if (!instrument_.drive_path.empty()) {
            return;
        }
        if (user_.ShowMessage(std::string(kNotFoundMessage), platform::Buttons::kRetryCancel,
                              platform::Icon::kNone) != platform::Answer::kRetry) {
            user_.EndProgram();
        }
    }
}

}  // namespace velno::app
