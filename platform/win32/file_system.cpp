#include "platform/win32/file_system.h"

#include "platform/win32/copy_file.h"
#include "platform/win32/drives.h"
#include "platform/win32/file_info.h"
#include "platform/win32/native_path.h"
#include "platform/win32/text_conversion.h"

namespace velno::platform::win32 {

namespace {

class Win32File : public File {
public:
    explicit Win32File(std::string path) : path_(std::move(path)) {}
    // Read when asked, as the file's object does.
    DateTime DateLastModified() override { return FileModifiedTimeOf("DateLastModified", path_); }
    std::uint64_t Size() override {
        const WIN32_FILE_ATTRIBUTE_DATA data =
            ExistingFile("Size", path_, NativePath("Size", path_));
        return (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    }

private:
    std::string path_;
};

class Win32Folder : public Folder {
public:
    explicit Win32Folder(std::string path) : path_(std::move(path)) {}
    std::string Path() override { return path_; }

private:
    std::string path_;
};

}  // namespace

std::shared_ptr<DriveCollection> Win32FileSystem::Drives() {
    return std::make_shared<Win32DriveCollection>();
}

bool Win32FileSystem::FileExists(const std::string& path) {
    const auto entry = QueryEntry("FileExists", path, NativePath("FileExists", path));
    return entry && !IsFolder(*entry);
}

bool Win32FileSystem::FolderExists(const std::string& path) {
    const auto entry = QueryEntry("FolderExists", path, NativePath("FolderExists", path));
    return entry && IsFolder(*entry);
}

void Win32FileSystem::CreateFolder(const std::string& path) {
    if (!CreateDirectoryW(NativePath("CreateFolder", path).c_str(), nullptr)) {
        ThrowLastError("CreateFolder", {path});
    }
}

void Win32FileSystem::DeleteFile(const std::string& path, bool force) {
    DeleteExistingFile("DeleteFile", path, force);
}

void Win32FileSystem::MoveFile(const std::string& source, const std::string& destination) {
    const std::wstring from = NativePath("MoveFile", source);
    const std::wstring to = NativePath("MoveFile", destination);
    const std::optional<WIN32_FILE_ATTRIBUTE_DATA> entry = QueryEntry("MoveFile", source, from);
    if (!entry || IsFolder(*entry)) {
        ThrowError("MoveFile", {source, destination}, ERROR_FILE_NOT_FOUND);
    }
    // Without MOVEFILE_REPLACE_EXISTING the move fails when the destination
    // exists.
    if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH) ||
        ((entry->dwFileAttributes & FILE_ATTRIBUTE_READONLY) == 0 && !FlushFileAt(to))) {
        ThrowLastError("MoveFile", {source, destination});
    }
}

void Win32FileSystem::CopyFile(const std::string& source, const std::string& destination,
                               bool overwrite, const ChunkCallback& between_chunks) {
    CopyFileSafely(source, destination, overwrite, between_chunks, copy_worker_);
}

std::unique_ptr<File> Win32FileSystem::GetFile(const std::string& path) {
    ExistingFile("GetFile", path, NativePath("GetFile", path));
    return std::make_unique<Win32File>(path);
}

std::unique_ptr<Folder> Win32FileSystem::GetFolder(const std::string& path) {
    const auto entry = QueryEntry("GetFolder", path, NativePath("GetFolder", path));
    if (!entry || !IsFolder(*entry)) {
        ThrowError("GetFolder", {path}, ERROR_PATH_NOT_FOUND);
    }
    return std::make_unique<Win32Folder>(path);
}

}  // namespace velno::platform::win32
