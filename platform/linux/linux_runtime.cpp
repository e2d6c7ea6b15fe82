#include "platform/linux/linux_runtime.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "platform/linux/attributes.h"
#include "platform/linux/file_io.h"
#include "platform/linux/linux_file_system.h"
#include "platform/linux/mountinfo.h"
#include "platform/linux/system_error.h"

namespace velno::platform::linux_host {

std::string ExecutableFolder() {
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) {
        ThrowSystemError("ApplicationFolder", {"/proc/self/exe"}, errno);
    }
    // The link always names an absolute path.
    return FolderOf(std::string(buffer, static_cast<std::size_t>(length)));
}

LinuxRuntime::LinuxRuntime(std::shared_ptr<PathRoots> roots, std::string application_folder,
                           std::string mountinfo_path, RemoveDevice remove_device)
    : roots_(std::move(roots)),
      application_folder_(std::move(application_folder)),
      mountinfo_path_(std::move(mountinfo_path)),
      remove_device_(std::move(remove_device)) {}

std::string LinuxRuntime::ApplicationFolder() {
    if (application_folder_.empty()) {
        application_folder_ = ExecutableFolder();
    }
    roots_->Add(application_folder_);
    return application_folder_;
}

std::vector<FolderEntry> LinuxRuntime::ListFolder(
    const std::string& folder, const std::function<bool(std::string_view)>& wanted) {
    static const std::string kOperation = "FirstMatch";
    const std::string native = roots_->Resolve(kOperation, folder);
    const std::unique_ptr<DIR, int (*)(DIR*)> listing(::opendir(native.c_str()), ::closedir);
    if (!listing) {
        // A folder that is not there holds no entry.
        if (errno == ENOENT || errno == ENOTDIR) {
            return {};
        }
        ThrowSystemError(kOperation, {folder}, errno);
    }
    std::vector<FolderEntry> entries;
    errno = 0;
    while (const dirent* entry = ::readdir(listing.get())) {
        FolderEntry listed{.name = entry->d_name};
        struct stat info {};
        const std::string path = native + (native.ends_with("/") ? "" : "/") + listed.name;
        if (listed.name != "." && listed.name != ".." && wanted(listed.name)) {
            listed.regular_file = ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
            if (listed.regular_file) {
                listed.attributes = ReadAttributes(path, folder + "\\" + listed.name, kOperation);
            }
            entries.push_back(std::move(listed));
        }
        errno = 0;
    }
    if (errno != 0) {
        ThrowSystemError(kOperation, {folder}, errno);
    }
    return entries;
}

unsigned LinuxRuntime::GetAttributes(const std::string& path) {
    return ReadAttributes(roots_->Resolve("GetAttributes", path), path, "GetAttributes");
}

void LinuxRuntime::SetAttributes(const std::string& path, unsigned bits) {
    WriteAttributes(roots_->Resolve("SetAttributes", path), path, bits);
}

void LinuxRuntime::RemoveFile(const std::string& path) {
    const std::string native = roots_->Resolve("RemoveFile", path);
    struct stat info {};
    if (::lstat(native.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        ThrowSystemError("RemoveFile", {path}, EISDIR);
    }
    const FileDescriptor held = HoldOpen(native);
    const int error = ::unlink(native.c_str()) == 0 ? FlushFolderOf(native) : errno;
    if (error != 0) {
        ThrowSystemError("RemoveFile", {path}, error);
    }
}

DateTime LinuxRuntime::FileModifiedTime(const std::string& path) {
    return ModifiedTime(roots_->ResolveEntry("FileModifiedTime", path), path, "FileModifiedTime");
}

namespace {

// An open file read with read(2); the descriptor closes with it.
class FileSource : public ByteSource {
public:
    FileSource(FileDescriptor fd, std::string path) : fd_(std::move(fd)), path_(std::move(path)) {}

    std::size_t Read(const char* operation, std::span<char> buffer) override {
        for (;;) {
            const ssize_t count = ::read(fd_.get(), buffer.data(), buffer.size());
            if (count >= 0) {
                return static_cast<std::size_t>(count);
            }
            if (errno != EINTR) {
                ThrowSystemError(operation, {path_}, errno);
            }
        }
    }

    void Rewind(const char* operation) override {
        if (::lseek(fd_.get(), 0, SEEK_SET) != 0) {
            ThrowSystemError(operation, {path_}, errno);
        }
    }

private:
    FileDescriptor fd_;
    std::string path_;
};

}  // namespace

std::unique_ptr<ByteSource> LinuxRuntime::OpenForReading(const std::string& path) {
    static const std::string kOperation = "OpenTextInput";
    FileDescriptor fd(::open(roots_->Resolve(kOperation, path).c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (!fd.valid() || ::fstat(fd.get(), &info) != 0) {
        ThrowSystemError(kOperation, {path}, errno);
    }
    // A folder opens for reading on Linux but holds no text.
    if (S_ISDIR(info.st_mode)) {
        ThrowSystemError(kOperation, {path}, EISDIR);
    }
    return std::make_unique<FileSource>(std::move(fd), path);
}

bool LinuxRuntime::FlushDrive(const std::string& drive_path) {
    const PathRoots::Resolved resolved = roots_->ResolveEntry("FlushDrive", drive_path);
    const FileDescriptor folder(
        ::open(resolved.native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat info {};
    if (!folder.valid() || ::fstat(folder.get(), &info) != 0) {
        ThrowSystemError("FlushDrive", {drive_path}, errno);
    }
    // The open folder, not its name, says which file system syncfs flushes:
    // success for another one would tell the owner a wrong "all written".
    if (resolved.volume && info.st_dev != *resolved.volume) {
        ThrowVolumeGone("FlushDrive", {drive_path});
    }
    if (::syncfs(folder.get()) != 0) {
        ThrowSystemError("FlushDrive", {drive_path}, errno);
    }
    return true;
}

bool LinuxRuntime::PrepareForRemoval(const std::string& drive_path, const ChunkCallback&) {
    if (!remove_device_) {
        return false;
    }
    try {
        const std::string native = roots_->Resolve("PrepareForRemoval", drive_path);
        std::string device;
        // The last mount on the point is the one in use.
        for (const MountEntry& mount : ReadMountInfo(mountinfo_path_)) {
            if (mount.mount_point == native) {
                device = mount.source;
            }
        }
        return device.starts_with("/dev/") && remove_device_(device);
    } catch (const PlatformError&) {
        return false;
    }
}

}  // namespace velno::platform::linux_host
