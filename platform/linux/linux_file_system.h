#pragma once

// The file-system object on Linux: drives are mounted volumes, paths are
// resolved below the roots the host handed out (platform/linux/path_roots.h).

#include <memory>

#include "platform/contract.h"
#include "platform/copy_engine.h"
#include "platform/linux/linux_drives.h"
#include "platform/linux/path_roots.h"

namespace velno::platform::linux_host {

class LinuxFileSystemObject : public FileSystemObject {
public:
    LinuxFileSystemObject(DriveSources sources, std::shared_ptr<PathRoots> roots);

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
    std::shared_ptr<DriveCollection> drives_;
    std::shared_ptr<PathRoots> roots_;
    CopyWorker copy_worker_;  // shared by this object's copies
};

// A file's modification time, read when asked.
DateTime ModifiedTime(const PathRoots::Resolved& resolved, const std::string& text,
                      const std::string& operation);

}  // namespace velno::platform::linux_host
