#include "platform/linux/copy_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace velno::platform::linux_host {

namespace {

DateTime ToDateTime(const timespec& time) {
    return DateTime(std::chrono::seconds(time.tv_sec) + std::chrono::nanoseconds(time.tv_nsec));
}

timespec ToTimespec(DateTime time) {
    const auto seconds = std::chrono::floor<std::chrono::seconds>(time);
    return {static_cast<time_t>(seconds.time_since_epoch().count()),
            static_cast<long>((time - seconds).count())};
}

}  // namespace

AtDestination DestinationKind(const struct stat& entry) {
    return S_ISDIR(entry.st_mode) ? AtDestination::kFolder : AtDestination::kFile;
}

LinuxCopySteps::LinuxCopySteps(CopyPaths paths)
    : CopySteps(paths.source_text, paths.destination_text),
      paths_(std::move(paths)),
      folder_(FolderOf(paths_.native_destination)) {}

void LinuxCopySteps::FailWith(int error_number) const { Fail(std::strerror(error_number)); }

AtDestination LinuxCopySteps::Destination() {
    // Linux renames over a read-only file as over any other, so read-only
    // needs no step of its own here.
    if (paths_.destination_kind) {
        return *paths_.destination_kind;
    }
    struct stat info {};
    if (::lstat(paths_.native_destination.c_str(), &info) != 0) {
        return AtDestination::kNone;  // a missing folder shows when the temporary file is created
    }
    return DestinationKind(info);
}

void LinuxCopySteps::Refuse(CopyRefusal refusal) {
    FailWith(refusal == CopyRefusal::kDestinationIsFolder ? EISDIR : EEXIST);
}

DateTime LinuxCopySteps::OpenSource() {
    source_ = FileDescriptor(::open(paths_.native_source.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (!source_.valid() || ::fstat(source_.get(), &info) != 0) {
        FailWith(errno);
    }
    if (S_ISDIR(info.st_mode)) {
        FailWith(EISDIR);
    }
    return ToDateTime(info.st_mtim);
}

std::size_t LinuxCopySteps::Fill(const FileDescriptor& fd, std::span<char> buffer) {
    std::size_t filled = 0;
    while (filled < buffer.size()) {
        const ssize_t count = ::read(fd.get(), buffer.data() + filled, buffer.size() - filled);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            FailWith(errno);
        }
        if (count == 0) {
            break;
        }
        filled += static_cast<std::size_t>(count);
    }
    return filled;
}

std::size_t LinuxCopySteps::ReadSource(std::span<char> buffer) { return Fill(source_, buffer); }

void LinuxCopySteps::CreateTemporary() {
    // The first free name: one that an earlier copy left is passed over.
    const std::string prefix =
        folder_ + (folder_.ends_with("/") ? "" : "/") + std::string(kTemporaryCopyPrefix);
    for (int count = 0; count < kTemporaryNames && !writer_.valid(); ++count) {
        const std::string candidate = prefix + std::to_string(count) + ".tmp";
        writer_ = FileDescriptor(
            ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (writer_.valid()) {
            temporary_ = candidate;
        } else if (errno != EEXIST) {
            break;
        }
    }
    if (!writer_.valid()) {
        FailWith(errno);
    }
}

void LinuxCopySteps::WriteTemporary(std::span<const char> bytes) {
    while (!bytes.empty()) {
        const ssize_t count = ::write(writer_.get(), bytes.data(), bytes.size());
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            FailWith(errno);
        }
        bytes = bytes.subspan(static_cast<std::size_t>(count));
        written_ += count;
    }
    WriteOut();
}

void LinuxCopySteps::WriteOut() {
    // Starts writing this chunk to the device now and waits for the chunks
    // before it, so that at most about two chunks are ever waiting in the
    // cache: each wait is one chunk's worth, and the file's flush and the
    // drive's flush at the end find little left to write. A file system
    // without this call leaves it all to the flush. (A length of 0 would
    // mean "to the end of the file".)
    const auto range = [this](off_t from, off_t to, unsigned flags) {
        if (to > from && ::sync_file_range(writer_.get(), from, to - from, flags) != 0 &&
            errno != EINVAL && errno != ESPIPE && errno != EOPNOTSUPP && errno != ENOSYS) {
            FailWith(errno);
        }
    };
    range(written_out_, written_, SYNC_FILE_RANGE_WRITE);
    range(waited_for_, written_out_,
          SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
    waited_for_ = written_out_;
    written_out_ = written_;
}

DateTime LinuxCopySteps::SetTemporaryTime(DateTime time) {
    const timespec times[2] = {{0, UTIME_NOW}, ToTimespec(time)};
    struct stat info {};
    if (::futimens(writer_.get(), times) != 0 || ::fstat(writer_.get(), &info) != 0) {
        FailWith(errno);
    }
    return ToDateTime(info.st_mtim);
}

void LinuxCopySteps::FlushTemporary() {
    // The data, then the folder: its flush writes the folder's blocks, where
    // the temporary file's entry is still empty, and then the clusters taken
    // for the file. The file itself is not flushed, nor closed (on a FAT
    // mount with "flush" a close writes it): its entry, naming the clusters,
    // is first written at its new name, after the rename.
    if (::sync_file_range(writer_.get(), 0, 0,
                          SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                              SYNC_FILE_RANGE_WAIT_AFTER) != 0 &&
        errno != EINVAL && errno != ESPIPE && errno != EOPNOTSUPP && errno != ENOSYS) {
        FailWith(errno);
    }
    if (const int error = FlushFolder(folder_); error != 0) {
        FailWith(error);
    }
}

void LinuxCopySteps::OpenReadBack() {
    reader_ = FileDescriptor(::open(temporary_.c_str(), O_RDONLY | O_CLOEXEC));
    if (!reader_.valid()) {
        FailWith(errno);
    }
    // The pages are clean after fsync; dropping them makes the reads go to
    // the device.
    if (const int error = ::posix_fadvise(reader_.get(), 0, 0, POSIX_FADV_DONTNEED); error != 0) {
        FailWith(error);
    }
}

std::size_t LinuxCopySteps::ReadBack(std::span<char> buffer) { return Fill(reader_, buffer); }

void LinuxCopySteps::ReplaceDestination(bool /*read_only*/) {
    reader_.Close();
    replaced_ = HoldOpen(paths_.native_destination);
    if (::rename(temporary_.c_str(), paths_.native_destination.c_str()) != 0) {
        FailWith(errno);
    }
    renamed_from_ = std::exchange(temporary_, {});
}

DateTime LinuxCopySteps::DestinationTime() {
    struct stat info {};
    if (::stat(paths_.native_destination.c_str(), &info) != 0) {
        FailWith(errno);
    }
    return ToDateTime(info.st_mtim);
}

void LinuxCopySteps::SetDestinationTime(DateTime time) {
    const timespec times[2] = {{0, UTIME_NOW}, ToTimespec(time)};
    if (::utimensat(AT_FDCWD, paths_.native_destination.c_str(), times, 0) != 0) {
        FailWith(errno);
    }
}

void LinuxCopySteps::FlushDestination() {
    if (const int error = FlushRenamed(paths_.native_destination, renamed_from_); error != 0) {
        FailWith(error);
    }
    replaced_.Close();
    if (const int error = writer_.Close(); error != 0) {
        FailWith(error);
    }
}

void LinuxCopySteps::RemoveTemporary() noexcept {
    source_.Close();
    writer_.Close();
    reader_.Close();
    replaced_.Close();
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
}

void CopyFileSafely(const CopyPaths& paths, bool overwrite, const ChunkCallback& between_chunks,
                    CopyWorker& worker) {
    LinuxCopySteps steps(paths);
    CopyVerified(steps, overwrite, between_chunks, worker);
}

}  // namespace velno::platform::linux_host
