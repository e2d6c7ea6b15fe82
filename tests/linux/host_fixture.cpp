#include "host_fixture.h"

#include <filesystem>

namespace velno::linux_test {

namespace {

platform::linux_host::LinuxHostOptions OptionsFor(const TempFolder& temp) {
    std::filesystem::create_directories(temp / "drive");
    std::filesystem::create_directories(temp / "app");
    WriteFile(temp / "mountinfo", "50 1 0:50 / " + (temp / "drive") + " rw - tmpfs tmpfs rw\n");
    return {.application_folder = temp / "app",
            .drive_sources = {.mountinfo_path = temp / "mountinfo"}};
}

}  // namespace

HostFixture::HostFixture()
    : host_(OptionsFor(temp_)),
      fs_(host_.CreateFileSystemObject("Scripting.FileSystemObject")),
      runtime_(host_.GetRuntime()) {
    // The logic learns both roots the way it does in the program.
    drive_ = fs_->Drives()->Walk().at(0)->Path();
    app_ = runtime_.ApplicationFolder();
}

}  // namespace velno::linux_test
