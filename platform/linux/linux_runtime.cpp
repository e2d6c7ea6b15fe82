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
    const std::string executable(buffer, static_cast<std::size_t>(length));
    const std::size_t slash = executable.rfind('/');
    return slash == 0 || slash == std::string::npos ? std::string("/")
                                                    : executable.substr(0, slash);
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

std::string LinuxRuntime::FirstMatch(const std::string& pattern) {
    static const std::string kOperation = "FirstMatch";
    matches_.clear();
    next_match_ = 0;
    const std::string name_pattern = GetFileName(pattern);
    const std::string folder = roots_->Resolve(kOperation, GetParentFolderName(pattern));
    const std::unique_ptr<DIR, int (*)(DIR*)> listing(::opendir(folder.c_str()), ::closedir);
    if (!listing) {
        // A folder that is not there holds no match.
        if (errno == ENOENT || errno == ENOTDIR) {
            return {};
        }
        ThrowSystemError(kOperation, {pattern}, errno);
    }
    errno = 0;
    while (const dirent* entry = ::readdir(listing.get())) {
        const std::string name = entry->d_name;
        struct stat info {};
        const std::string native = folder + (folder.ends_with("/") ? "" : "/") + name;
        if (WildcardMatch(name_pattern, name) && ::lstat(native.c_str(), &info) == 0 &&
            S_ISREG(info.st_mode) &&
            (ReadAttributes(native, pattern, kOperation) & (kAttrHidden | kAttrSystem)) == 0) {
            matches_.push_back(name);
        }
        errno = 0;
    }
    if (errno != 0) {
        ThrowSystemError(kOperation, {pattern}, errno);
    }
    return NextMatch();
}

std::string LinuxRuntime::NextMatch() {
    return next_match_ < matches_.size() ? matches_[next_match_++] : std::string();
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
    if (::unlink(native.c_str()) != 0) {
        ThrowSystemError("RemoveFile", {path}, errno);
    }
}

DateTime LinuxRuntime::FileModifiedTime(const std::string& path) {
    return ModifiedTime(roots_->Resolve("FileModifiedTime", path), path, "FileModifiedTime");
}

void LinuxRuntime::OpenTextInput(const std::string& path) {
    const std::string native = roots_->Resolve("OpenTextInput", path);
    std::string bytes;
    if (const int error = ReadWholeFile(native, bytes); error != 0) {
        ThrowSystemError("OpenTextInput", {path}, error);
    }
    input_.Open(std::move(bytes));
}

void LinuxRuntime::RequireOpenInput(const std::string& operation) const {
    if (!input_.IsOpen()) {
        throw PlatformError(operation, {}, "No file is open for reading");
    }
}

std::string LinuxRuntime::ReadLine() {
    RequireOpenInput("ReadLine");
    return input_.ReadLine();
}

bool LinuxRuntime::AtEnd() {
    RequireOpenInput("AtEnd");
    return input_.AtEnd();
}

void LinuxRuntime::Rewind() {
    RequireOpenInput("Rewind");
    input_.Rewind();
}

void LinuxRuntime::CloseAll() { input_.Close(); }

void LinuxRuntime::FlushDrive(const std::string& drive_path) {
    const std::string native = roots_->Resolve("FlushDrive", drive_path);
    const FileDescriptor folder(::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.valid() || ::syncfs(folder.get()) != 0) {
        ThrowSystemError("FlushDrive", {drive_path}, errno);
    }
}

bool LinuxRuntime::PrepareForRemoval(const std::string& drive_path) {
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
