#include "platform/linux/copy_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <vector>

#include "platform/linux/file_io.h"
#include "platform/linux/system_error.h"

namespace velno::platform::linux_host {

namespace {

const std::string kOperation = "CopyFile";

std::string FolderOf(const std::string& native) {
    const std::size_t slash = native.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : native.substr(0, slash);
}

// The temporary file until it has been renamed over the destination.
class TemporaryFile {
public:
    TemporaryFile(const std::string& folder, const CopyPaths& paths) {
        static std::atomic<unsigned> counter{0};
        for (int attempt = 0; attempt < 100; ++attempt) {
            path_ = folder + (folder.ends_with("/") ? "" : "/") + ".velno-copy-" +
                    std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".tmp";
            fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd_ >= 0 || errno != EEXIST) {
                break;
            }
        }
        if (fd_ < 0) {
            ThrowSystemError(kOperation, {paths.source_text, paths.destination_text}, errno);
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        if (!committed_) {
            ::unlink(path_.c_str());
        }
    }
    int fd() const { return fd_; }
    const std::string& path() const { return path_; }
    int Close() {
        const int result = ::close(fd_);
        fd_ = -1;
        return result == 0 ? 0 : errno;
    }
    void Commit() { committed_ = true; }

private:
    std::string path_;
    int fd_ = -1;
    bool committed_ = false;
};

// Reads up to a full chunk; short only at the end of the file.
ssize_t ReadChunk(int fd, std::vector<char>& buffer) {
    std::size_t filled = 0;
    while (filled < buffer.size()) {
        const ssize_t count = ::read(fd, buffer.data() + filled, buffer.size() - filled);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            return -1;
        }
        if (count == 0) {
            break;
        }
        filled += static_cast<std::size_t>(count);
    }
    return static_cast<ssize_t>(filled);
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t count = ::write(fd, data, size);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            return false;
        }
        data += count;
        size -= static_cast<std::size_t>(count);
    }
    return true;
}

bool Earlier(const timespec& a, const timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

// Sets the modification time and reads back what the volume kept. Returns
// 0, or the error number of the call that failed.
int SetModifiedTime(const std::string& path, const timespec& time, timespec& kept) {
    const timespec times[2] = {{0, UTIME_NOW}, time};
    struct stat info {};
    if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0 || ::stat(path.c_str(), &info) != 0) {
        return errno;
    }
    kept = info.st_mtim;
    return 0;
}

}  // namespace

timespec RoundUpToEvenSecond(timespec time) {
    if (time.tv_nsec > 0) {
        time.tv_sec += 1;
        time.tv_nsec = 0;
    }
    if (time.tv_sec % 2 != 0) {
        time.tv_sec += 1;
    }
    return time;
}

void CopyFileSafely(const CopyPaths& paths, bool overwrite, const ChunkCallback& between_chunks) {
    const std::vector<std::string> texts = {paths.source_text, paths.destination_text};
    const auto fail = [&texts](int error_number) {
        ThrowSystemError(kOperation, texts, error_number);
    };

    const FileDescriptor source(::open(paths.native_source.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat source_info {};
    if (!source.valid() || ::fstat(source.get(), &source_info) != 0) {
        fail(errno);
    }
    if (S_ISDIR(source_info.st_mode)) {
        fail(EISDIR);
    }
    struct stat destination_info {};
    if (::lstat(paths.native_destination.c_str(), &destination_info) == 0) {
        if (S_ISDIR(destination_info.st_mode)) {
            fail(EISDIR);
        }
        if (!overwrite) {
            fail(EEXIST);
        }
    }

    const std::string folder = FolderOf(paths.native_destination);
    TemporaryFile temporary(folder, paths);
    std::vector<char> buffer(kCopyChunkBytes);
    bool first_chunk = true;
    for (;;) {
        const ssize_t count = ReadChunk(source.get(), buffer);
        if (count < 0) {
            fail(errno);
        }
        if (count == 0) {
            break;
        }
        if (!first_chunk && between_chunks) {
            between_chunks();
        }
        first_chunk = false;
        if (!WriteAll(temporary.fd(), buffer.data(), static_cast<std::size_t>(count))) {
            fail(errno);
        }
    }
    if (::fsync(temporary.fd()) != 0) {
        fail(errno);
    }
    if (const int error = temporary.Close(); error != 0) {
        fail(error);
    }
    if (::rename(temporary.path().c_str(), paths.native_destination.c_str()) != 0) {
        fail(errno);
    }
    temporary.Commit();

    // The time is set after the rename: a file system may keep the times of
    // a renamed entry from before the rename.
    const timespec wanted = source_info.st_mtim;
    timespec kept{};
    if (const int error = SetModifiedTime(paths.native_destination, wanted, kept); error != 0) {
        fail(error);
    }
    if (Earlier(kept, wanted)) {
        if (const int error =
                SetModifiedTime(paths.native_destination, RoundUpToEvenSecond(wanted), kept);
            error != 0) {
            fail(error);
        }
    }

    const FileDescriptor folder_fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder_fd.valid()) {
        fail(errno);
    }
    // Some file systems cannot flush a folder; their entries are then
    // written with the file system's own flush.
    if (::fsync(folder_fd.get()) != 0 && errno != EINVAL) {
        fail(errno);
    }
}

}  // namespace velno::platform::linux_host
