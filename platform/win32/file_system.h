#pragma once

// The file-system object on the Win32 API.

#include <memory>
#include <string>

#include "platform/contract.h"

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
};

// The copy behind CopyFile: the source's bytes go to a temporary file in the
// destination's folder, in chunks with between_chunks called after each,
// then the temporary file gets the source's modification time, is flushed
// and renamed over the destination. On any failure (or an exception from
// between_chunks) the temporary file is removed and the destination is as
// it was.
void CopyFileSafely(const std::string& source, const std::string& destination, bool overwrite,
                    const ChunkCallback& between_chunks);

// Size of one chunk of a copy.
inline constexpr unsigned kCopyChunkBytes = 256 * 1024;

}  // namespace velno::platform::win32
