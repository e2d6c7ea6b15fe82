#pragma once

// The Linux primitives of the copy engine (platform/copy_engine.h).

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <span>
#include <string>

#include "platform/copy_engine.h"
#include "platform/linux/file_io.h"

namespace velno::platform::linux_host {

// The paths of one copy: native ones to work on, the caller's texts for
// the error report.
struct CopyPaths {
    std::string native_source;
    std::string native_destination;
    std::string source_text;
    std::string destination_text;
    // What the destination is, when the caller has just looked; otherwise
    // the copy looks itself.
    std::optional<AtDestination> destination_kind = std::nullopt;
};

// What lstat(2) found at a copy's destination: a symbolic link is replaced
// like a file.
AtDestination DestinationKind(const struct stat& entry);

// One copy on Linux: the temporary file is a name beside the destination;
// the read-back drops the file's cached pages once they are written, so that
// it reads what the device holds. On the kernel's FAT driver no entry that
// names the new clusters reaches the device before the clusters are marked
// taken there (docs/safety.md).
class LinuxCopySteps : public CopySteps {
public:
    explicit LinuxCopySteps(CopyPaths paths);

    AtDestination Destination() override;
    [[noreturn]] void Refuse(CopyRefusal refusal) override;
    DateTime OpenSource() override;
    std::size_t ReadSource(std::span<char> buffer) override;
    void CreateTemporary() override;
    void WriteTemporary(std::span<const char> bytes) override;
    DateTime SetTemporaryTime(DateTime time) override;
    void FlushTemporary() override;
    void OpenReadBack() override;
    std::size_t ReadBack(std::span<char> buffer) override;
    void ReplaceDestination(bool read_only) override;
    DateTime DestinationTime() override;
    void SetDestinationTime(DateTime time) override;
    void FlushDestination() override;
    void RemoveTemporary() noexcept override;

private:
    [[noreturn]] void FailWith(int error_number) const;
    std::size_t Fill(const FileDescriptor& fd, std::span<char> buffer);
    void WriteOut();

    CopyPaths paths_;
    std::string folder_;
    std::string temporary_;
    std::string renamed_from_;
    FileDescriptor source_;
    FileDescriptor writer_;
    FileDescriptor reader_;
    FileDescriptor replaced_;  // the file the rename replaces, until it is durable
    // Offsets in the temporary file: written, handed to the device, and
    // known to be on it.
    off_t written_ = 0;
    off_t written_out_ = 0;
    off_t waited_for_ = 0;
};

// CopyFile on Linux: the copy engine over these primitives, its blocking
// steps on the worker.
void CopyFileSafely(const CopyPaths& paths, bool overwrite, const ChunkCallback& between_chunks,
                    CopyWorker& worker);

}  // namespace velno::platform::linux_host
