#include "platform/linux/linux_platform.h"

#include "platform/linux/linux_file_system.h"

namespace velno::platform::linux_host {

LinuxPlatform::LinuxPlatform(LinuxHostOptions options)
    : options_(std::move(options)),
      roots_(std::make_shared<PathRoots>()),
      runtime_(roots_, options_.application_folder, options_.drive_sources.mountinfo_path,
               options_.remove_device) {}

std::unique_ptr<FileSystemObject> LinuxPlatform::CreateFileSystemObject(
    const std::string& class_name) {
    if (class_name != "Scripting.FileSystemObject") {
        throw PlatformError("CreateFileSystemObject", {}, "Unknown class \"" + class_name + "\"");
    }
    return std::make_unique<LinuxFileSystemObject>(options_.drive_sources, roots_);
}

}  // namespace velno::platform::linux_host
