#pragma once

// The platform contract on Linux, for a machine where the instrument's FAT32
// volume is mounted (by the desktop's automounter, or by hand).

#include <memory>
#include <string>

#include "platform/contract.h"
#include "platform/linux/linux_drives.h"
#include "platform/linux/linux_runtime.h"
#include "platform/linux/path_roots.h"

namespace velno::platform::linux_host {

struct LinuxHostOptions {
    // Empty: the folder of the running executable.
    std::string application_folder;
    DriveSources drive_sources;
    // Unmounts and powers off the instrument's block device after the run;
    // none: the volume stays mounted.
    RemoveDevice remove_device = {};
};

class LinuxPlatform : public Platform {
public:
    explicit LinuxPlatform(LinuxHostOptions options = {});

    // Accepts only "Scripting.FileSystemObject".
    std::unique_ptr<FileSystemObject> CreateFileSystemObject(
        const std::string& class_name) override;
    Runtime& GetRuntime() override { return runtime_; }

private:
    LinuxHostOptions options_;
    // Shared by every object of this host: the roots handed out so far.
    std::shared_ptr<PathRoots> roots_;
    LinuxRuntime runtime_;
};

}  // namespace velno::platform::linux_host
