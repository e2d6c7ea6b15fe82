#pragma once

// The file-system object on the Win32 API.

#include <memory>
#include <string>

#include "platform/contract.h"
#include "platform/copy_engine.h"

namespace velno::platform::win32 {

class Win32FileSystem : public FileSystemObject {
public:
    std::shared_ptr<DriveCollection> Drives() override;
    bool FileExists(const std::string& path) override;
    bool FolderExists(const std::string& path) override;
    void CreateFolder(const std::string& path) override;
    void DeleteFile(const std::string& path, bool force) override;
    void MoveFile(const std::string& source, const std::string& destination) override;
    void CopyFile(const std::string& source, const std::string& destination, bool overwrite,
                  const ChunkCallback& between_chunks) override;
    std::unique_ptr<File> GetFile(const std::string& path) override;
    std::unique_ptr<Folder> GetFolder(const std::string& path) override;

private:
    CopyWorker copy_worker_;  // shared by this object's copies
};

}  // namespace velno::platform::win32
