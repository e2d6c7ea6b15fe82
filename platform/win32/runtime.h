#pragma once

// The application runtime's services on the Win32 API.

#include <string>
#include <string_view>
#include <vector>

#include "platform/contract.h"
#include "platform/host_runtime.h"

namespace velno::platform::win32 {

class Win32Runtime : public HostRuntime {
public:
    std::string ApplicationFolder() override;
    unsigned GetAttributes(const std::string& path) override;
    void SetAttributes(const std::string& path, unsigned bits) override;
    void RemoveFile(const std::string& path) override;
    DateTime FileModifiedTime(const std::string& path) override;
    bool FlushDrive(const std::string& drive_path) override;
    // Asks the configuration manager to prepare the drive's device for
    // removal, which a standard user may do and which writes out every
    // file system cache of it.
    bool PrepareForRemoval(const std::string& drive_path, const ChunkCallback& waiting) override;

protected:
    std::vector<FolderEntry> ListFolder(
        const std::string& folder, const std::function<bool(std::string_view)>& wanted) override;
    std::unique_ptr<ByteSource> OpenForReading(const std::string& path) override;
};

}  // namespace velno::platform::win32
