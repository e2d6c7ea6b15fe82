#include "platform/linux/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/path_text.h"

namespace velno::platform::linux_host {

FileDescriptor::~FileDescriptor() { Close(); }

int FileDescriptor::Close() {
    if (fd_ < 0) {
        return 0;
    }
    const int result = ::close(fd_);
    fd_ = -1;
    return result == 0 ? 0 : errno;
}

std::string FolderOf(const std::string& native) {
    const std::size_t slash = native.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : native.substr(0, slash);
}

namespace {

int Flush(const std::string& native) {
    const FileDescriptor entry(::open(native.c_str(), O_RDONLY | O_CLOEXEC));
    if (!entry.valid()) {
        return errno;
    }
    return ::fsync(entry.get()) == 0 || errno == EINVAL ? 0 : errno;
}

}  // namespace

int FlushFolder(const std::string& native_folder) { return Flush(native_folder); }

int FlushRenamed(const std::string& native_destination, const std::string& native_source) {
    const std::string folder = FolderOf(native_destination);
    const std::string source_folder = FolderOf(native_source);
    int error = Flush(native_destination);
    error = error != 0 ? error : FlushFolder(folder);
    return error != 0 || source_folder == folder ? error : FlushFolder(source_folder);
}

int FlushFolderOf(const std::string& native) { return FlushFolder(FolderOf(native)); }

int FlushNewFolder(const std::string& native_folder) {
    const std::string marker = native_folder + (native_folder.ends_with("/") ? "" : "/") +
                               std::string(kTemporaryCopyPrefix) + "0.tmp";
    // Opened for reading only: the mount option "flush" writes every pending
    // block, the parent's entry too, when a file opened for writing closes.
    const FileDescriptor fd(
        ::open(marker.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (!fd.valid()) {
        return errno;
    }
    int error = ::futimens(fd.get(), nullptr) == 0 && ::fsync(fd.get()) == 0 ? 0 : errno;
    if (::unlink(marker.c_str()) != 0 && error == 0) {
        error = errno;
    }
    return error;
}

FileDescriptor HoldOpen(const std::string& native) {
    return FileDescriptor(::open(native.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
}

int ReadWholeFile(const std::string& native_path, std::string& bytes) {
    FileDescriptor fd(::open(native_path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) {
        return errno;
    }
    bytes.clear();
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::read(fd.get(), buffer, sizeof buffer);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (count == 0) {
            return 0;
        }
        bytes.append(buffer, static_cast<std::size_t>(count));
    }
}

}  // namespace velno::platform::linux_host
