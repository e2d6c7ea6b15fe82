#pragma once

#include <string>

namespace velno::platform::linux_host {

// Reads a whole file into bytes. Returns 0, or the error number of the call
// that failed.
int ReadWholeFile(const std::string& native_path, std::string& bytes);

// Closes a descriptor when it goes out of scope.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) {
            Close();
            fd_ = other.fd_;
            other.fd_ = -1;
        }
        return *this;
    }
    ~FileDescriptor();
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Closes now; returns 0 or the error number of close().
    int Close();

private:
    int fd_;
};

}  // namespace velno::platform::linux_host
