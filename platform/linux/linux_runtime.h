#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/contract.h"
#include "platform/linux/path_roots.h"
#include "platform/text_input.h"

namespace velno::platform::linux_host {

// Asks the desktop's volume manager to unmount a block device ("/dev/sdb1")
// and power its drive off; true when the volume is no longer mounted. The
// front end provides it (it needs the toolkit's D-Bus).
using RemoveDevice = std::function<bool(const std::string& device)>;

class LinuxRuntime : public Runtime {
public:
    // An empty application folder means the folder of the running
    // executable. Without remove_device no drive is ever removed.
    LinuxRuntime(std::shared_ptr<PathRoots> roots, std::string application_folder,
                 std::string mountinfo_path = "/proc/self/mountinfo",
                 RemoveDevice remove_device = {});

    std::string ApplicationFolder() override;
    std::string FirstMatch(const std::string& pattern) override;
    std::string NextMatch() override;
    unsigned GetAttributes(const std::string& path) override;
    void SetAttributes(const std::string& path, unsigned bits) override;
    void RemoveFile(const std::string& path) override;
    DateTime FileModifiedTime(const std::string& path) override;
    void OpenTextInput(const std::string& path) override;
    std::string ReadLine() override;
    bool AtEnd() override;
    void Rewind() override;
    void CloseAll() override;
    void FlushDrive(const std::string& drive_path) override;
    // Only a volume mounted from a block device can be removed; an image
    // file or a network share stays mounted.
    bool PrepareForRemoval(const std::string& drive_path) override;

private:
    void RequireOpenInput(const std::string& operation) const;

    std::shared_ptr<PathRoots> roots_;
    std::string application_folder_;
    std::string mountinfo_path_;
    RemoveDevice remove_device_;
    // The names FirstMatch listed, all read at once, so that moving matched
    // files away does not disturb the enumeration.
    std::vector<std::string> matches_;
    std::size_t next_match_ = 0;
    TextInput input_;
};

// The folder of /proc/self/exe.
std::string ExecutableFolder();

}  // namespace velno::platform::linux_host
