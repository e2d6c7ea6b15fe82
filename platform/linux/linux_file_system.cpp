#include "platform/linux/linux_file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/linux/attributes.h"
#include "platform/linux/copy_file.h"
#include "platform/linux/file_io.h"
#include "platform/linux/system_error.h"

namespace velno::platform::linux_host {

namespace {

// stat(2) of the resolved path, or lstat(2) without following a symbolic
// link, answered from what resolving it found (its lstat) where that is the
// same.
int StatOf(const PathRoots::Resolved& resolved, struct stat& info, bool follow_link = true) {
    if (resolved.absent) {
        errno = ENOENT;
        return -1;
    }
    if (resolved.entry && !(follow_link && S_ISLNK(resolved.entry->st_mode))) {
        info = *resolved.entry;
        return 0;
    }
    const char* native = resolved.native.c_str();
    return follow_link ? ::stat(native, &info) : ::lstat(native, &info);
}

int LstatOf(const PathRoots::Resolved& resolved, struct stat& info) {
    return StatOf(resolved, info, false);
}

// Whether the path names an entry whose type satisfies the test. A missing
// entry or folder on the way gives false; any other failure (no access, an
// I/O error) is reported rather than taken for absence.
template <typename TypeTest>
bool Exists(const PathRoots::Resolved& resolved, const std::string& text,
            const std::string& operation, TypeTest type_test) {
    struct stat info {};
    if (StatOf(resolved, info) == 0) {
        return type_test(info.st_mode);
    }
    if (errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG) {
        return false;
    }
    ThrowSystemError(operation, {text}, errno);
}

// Each question resolves the path again, so that a file of a drive whose
// volume has gone is never answered from another file system.
class LinuxFile : public File {
public:
    LinuxFile(std::shared_ptr<PathRoots> roots, std::string text)
        : roots_(std::move(roots)), text_(std::move(text)) {}
    DateTime DateLastModified() override {
        return ModifiedTime(roots_->ResolveEntry("DateLastModified", text_), text_,
                            "DateLastModified");
    }
    std::uint64_t Size() override {
        struct stat info {};
        if (StatOf(roots_->ResolveEntry("Size", text_), info) != 0) {
            ThrowSystemError("Size", {text_}, errno);
        }
        return static_cast<std::uint64_t>(info.st_size);
    }

private:
    std::shared_ptr<PathRoots> roots_;
    std::string text_;
};

class LinuxFolder : public Folder {
public:
    explicit LinuxFolder(std::string native) : native_(std::move(native)) {}
    std::string Path() override { return native_; }

private:
    std::string native_;
};

}  // namespace

DateTime ModifiedTime(const PathRoots::Resolved& resolved, const std::string& text,
                      const std::string& operation) {
    struct stat info {};
    if (StatOf(resolved, info) != 0) {
        ThrowSystemError(operation, {text}, errno);
    }
    return DateTime(std::chrono::duration_cast<DateTime::duration>(
        std::chrono::seconds(info.st_mtim.tv_sec) +
        std::chrono::nanoseconds(info.st_mtim.tv_nsec)));
}

LinuxFileSystemObject::LinuxFileSystemObject(DriveSources sources, std::shared_ptr<PathRoots> roots)
    : drives_(std::make_shared<LinuxDriveCollection>(std::move(sources), roots)),
      roots_(std::move(roots)) {}

std::shared_ptr<DriveCollection> LinuxFileSystemObject::Drives() { return drives_; }

bool LinuxFileSystemObject::FileExists(const std::string& path) {
    return Exists(roots_->ResolveEntry("FileExists", path), path, "FileExists",
                  [](mode_t mode) { return S_ISREG(mode); });
}

bool LinuxFileSystemObject::FolderExists(const std::string& path) {
    return Exists(roots_->ResolveEntry("FolderExists", path), path, "FolderExists",
                  [](mode_t mode) { return S_ISDIR(mode); });
}

void LinuxFileSystemObject::CreateFolder(const std::string& path) {
    const std::string native = roots_->Resolve("CreateFolder", path);
    // The new folder's cluster and the FAT that takes it reach the device
    // first, the parent's entry naming that cluster after (docs/safety.md).
    if (::mkdir(native.c_str(), 0777) != 0) {
        ThrowSystemError("CreateFolder", {path}, errno);
    }
    int error = FlushNewFolder(native);
    error = error != 0 ? error : FlushFolderOf(native);
    if (error != 0) {
        ThrowSystemError("CreateFolder", {path}, error);
    }
}

void LinuxFileSystemObject::DeleteFile(const std::string& path, bool force) {
    static const std::string kOperation = "DeleteFile";
    const PathRoots::Resolved resolved = roots_->ResolveEntry(kOperation, path);
    const std::string& native = resolved.native;
    struct stat info {};
    if (LstatOf(resolved, info) != 0) {
        ThrowSystemError(kOperation, {path}, errno);
    }
    if (S_ISDIR(info.st_mode)) {
        ThrowSystemError(kOperation, {path}, EISDIR);
    }
    // Linux lets a read-only file be unlinked; the read-only attribute is
    // honoured here, as the caller expects, unless deleting is forced.
    const unsigned attributes = ReadAttributes(native, path, kOperation);
    if (!force && (attributes & kAttrReadOnly) != 0) {
        ThrowSystemError(kOperation, {path}, EACCES);
    }
    const FileDescriptor held = HoldOpen(native);
    bool removed = ::unlink(native.c_str()) == 0;
    // A FAT mount with "sys_immutable" refuses to remove a system file: a
    // forced delete clears the attributes first.
    if (!removed && force && errno == EPERM && (attributes & (kAttrReadOnly | kAttrSystem)) != 0) {
        WriteAttributes(native, path, 0);
        removed = ::unlink(native.c_str()) == 0;
    }
    const int error = removed ? FlushFolderOf(native) : errno;
    if (error != 0) {
        ThrowSystemError(kOperation, {path}, error);
    }
}

void LinuxFileSystemObject::MoveFile(const std::string& source, const std::string& destination) {
    static const std::string kOperation = "MoveFile";
    const PathRoots::Resolved resolved_source = roots_->ResolveEntry(kOperation, source);
    const PathRoots::Resolved resolved_destination = roots_->ResolveEntry(kOperation, destination);
    const std::string& native_source = resolved_source.native;
    const std::string& native_destination = resolved_destination.native;
    struct stat info {};
    if (LstatOf(resolved_source, info) != 0) {
        ThrowSystemError(kOperation, {source, destination}, errno);
    }
    if (S_ISDIR(info.st_mode)) {
        ThrowSystemError(kOperation, {source, destination}, EISDIR);
    }
    // The resolved destination found any entry whose name differs only in
    // case, so this also refuses "a.mem" when "A.MEM" exists.
    if (LstatOf(resolved_destination, info) == 0) {
        ThrowSystemError(kOperation, {source, destination}, EEXIST);
    }
    // File systems without the no-replace flag: the destination was checked
    // just above.
    if (::renameat2(AT_FDCWD, native_source.c_str(), AT_FDCWD, native_destination.c_str(),
                    RENAME_NOREPLACE) != 0 &&
        !((errno == EINVAL || errno == ENOSYS) &&
          ::rename(native_source.c_str(), native_destination.c_str()) == 0)) {
        ThrowSystemError(kOperation, {source, destination}, errno);
    }
    if (const int error = FlushRenamed(native_destination, native_source); error != 0) {
        ThrowSystemError(kOperation, {source, destination}, error);
    }
}

void LinuxFileSystemObject::CopyFile(const std::string& source, const std::string& destination,
                                     bool overwrite, const ChunkCallback& between_chunks) {
    std::string native_source = roots_->Resolve("CopyFile", source);
    const PathRoots::Resolved resolved = roots_->ResolveEntry("CopyFile", destination);
    CopyPaths paths{std::move(native_source), resolved.native, source, destination};
    // What is at the destination, where resolving it already found out.
    if (resolved.absent) {
        paths.destination_kind = AtDestination::kNone;
    } else if (resolved.entry) {
        paths.destination_kind = DestinationKind(*resolved.entry);
    }
    CopyFileSafely(paths, overwrite, between_chunks, copy_worker_);
}

std::unique_ptr<File> LinuxFileSystemObject::GetFile(const std::string& path) {
    const PathRoots::Resolved resolved = roots_->ResolveEntry("GetFile", path);
    struct stat info {};
    if (StatOf(resolved, info) != 0) {
        ThrowSystemError("GetFile", {path}, errno);
    }
    if (S_ISDIR(info.st_mode)) {
        ThrowSystemError("GetFile", {path}, EISDIR);
    }
    return std::make_unique<LinuxFile>(roots_, path);
}

std::unique_ptr<Folder> LinuxFileSystemObject::GetFolder(const std::string& path) {
    const PathRoots::Resolved resolved = roots_->ResolveEntry("GetFolder", path);
    struct stat info {};
    if (StatOf(resolved, info) != 0) {
        ThrowSystemError("GetFolder", {path}, errno);
    }
    if (!S_ISDIR(info.st_mode)) {
        ThrowSystemError("GetFolder", {path}, ENOTDIR);
    }
    return std::make_unique<LinuxFolder>(resolved.native);
}

}  // namespace velno::platform::linux_host
