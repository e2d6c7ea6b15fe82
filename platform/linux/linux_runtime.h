#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/contract.h"
#include "platform/host_runtime.h"
#include "platform/linux/path_roots.h"

namespace velno::platform::linux_host {

class LinuxRuntime : public HostRuntime {
public:
    // An empty application folder means the folder of the running
    // executable.
    LinuxRuntime(std::shared_ptr<PathRoots> roots, std::string application_folder);

    std::string ApplicationFolder() override;
    unsigned GetAttributes(const std::string& path) override;
    void SetAttributes(const std::string& path, unsigned bits) override;
    void RemoveFile(const std::string& path) override;
    DateTime FileModifiedTime(const std::string& path) override;
    void FlushDrive(const std::string& drive_path) override;

protected:
    std::vector<FolderEntry> ListFolder(
        const std::string& folder, const std::function<bool(std::string_view)>& wanted) override;
    std::unique_ptr<ByteSource> OpenForReading(const std::string& path) override;

private:
    std::shared_ptr<PathRoots> roots_;
    std::string application_folder_;
};

// The folder of /proc/self/exe.
std::string ExecutableFolder();

}  // namespace velno::platform::linux_host
