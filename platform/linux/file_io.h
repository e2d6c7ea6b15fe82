#pragma once

#include <string>

namespace velno::platform::linux_host {

// Reads a whole file into bytes. Returns 0, or the error number of the call
// that failed.
int ReadWholeFile(const std::string& native_path, std::string& bytes);

// The folder holding the native path.
std::string FolderOf(const std::string& native);

// Flushes of what the file system keeps of a file or folder (fsync(2)); each
// returns 0 or the error number. A file system that cannot flush a folder
// (EINVAL) writes its entries with its own flush. docs/safety.md says why the
// kernel's FAT driver needs them in this order:
// - a folder, and with it the clusters the file system marked taken;
int FlushFolder(const std::string& native_folder);
// - after a rename, the file at its new name (its entry gets its size, first
//   cluster and time only now), then its folder, then the folder it came
//   from when that is another;
int FlushRenamed(const std::string& native_destination, const std::string& native_source);
// - right after an entry's removal, the folder that held it: its blocks are
//   written before the freed clusters.
int FlushFolderOf(const std::string& native);
// - a folder just made, before its parent: its first cluster (its "." and
//   ".." entries) and the FAT that takes it, without its entry in the parent.
//   The kernel keeps that cluster with the parent's blocks, and a flush of the
//   parent writes both at once, in either order; an entry that reached the
//   device before the cluster names a folder the driver refuses ("corrupted
//   directory", and the volume turns read-only). So an empty file is made in
//   the new folder under a temporary copy's name (which the next run clears
//   if a power cut leaves it), its time set and flushed, which writes the
//   block holding its entry alone, and removed again. The new folder itself
//   must not be flushed before its parent: that would write its entry.
int FlushNewFolder(const std::string& native_folder);

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

// Holds the entry's file open (O_PATH) while it is removed or replaced: the
// kernel's FAT driver frees a file's clusters at its last close, and with the
// mount option "flush" starts writing everything pending at that moment, so
// the freed clusters could reach the device before the entry's removal.
FileDescriptor HoldOpen(const std::string& native);

}  // namespace velno::platform::linux_host
