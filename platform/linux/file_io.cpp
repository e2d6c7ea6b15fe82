#include "platform/linux/file_io.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

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
