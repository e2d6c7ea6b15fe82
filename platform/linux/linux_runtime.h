#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/contract.h"
#include "platform/host_runtime.h"
#include "platform/linux/path_roots.h"

namespace velno::platform::linux_host {

// Asks the desktop's volume manager to unmount a block device ("/dev/sdb1")
// and power its drive off; true when the volume is no longer mounted. The
// front end provides it (it needs the toolkit's D-Bus).
using RemoveDevice = std::function<bool(const std::string& device)>;

class LinuxRuntime : public HostRuntime {
public:
    // An empty application folder means the folder of the running
    // executable. Without remove_device no drive is ever removed.
    LinuxRuntime(std::shared_ptr<PathRoots> roots, std::string application_folder,
                 std::string mountinfo_path = "/proc/self/mountinfo",
                 RemoveDevice remove_device = {});

    std::string ApplicationFolder() override;
    unsigned GetAttributes(const std::string& path) override;
    void SetAttributes(const std::string& path, unsigned bits) override;
    void RemoveFile(const std::string& path) override;
    DateTime FileModifiedTime(const std::string& path) override;
    bool FlushDrive(const std::string& drive_path) override;
    // Only a volume mounted from a block device can be removed; an image
    // file or a network share stays mounted.
    // udisks2 keeps the event loop turning itself: `waiting` is not needed.
    bool PrepareForRemoval(const std::string& drive_path, const ChunkCallback& waiting) override;

protected:
    std::vector<FolderEntry> ListFolder(
        const std::string& folder, const std::function<bool(std::string_view)>& wanted) override;
    std::unique_ptr<ByteSource> OpenForReading(const std::string& path) override;

private:
    std::shared_ptr<PathRoots> roots_;
    std::string application_folder_;
    std::string mountinfo_path_;
    RemoveDevice remove_device_;
};

// The folder of /proc/self/exe.
std::string ExecutableFolder();

}  // namespace velno::platform::linux_host
