#pragma once

// The one copy sequence of both hosts: the staged bytes go to a temporary
// file in the destination's folder, chunk by chunk, are flushed to the
// device, read back from it and compared, and only then replace the
// destination in one rename. The destination is therefore always either the
// old file or a complete, verified copy. Each host supplies the primitives
// (CopySteps); the order, the chunking, the callback rule, the refusals and
// the verification live here once.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "platform/contract.h"

namespace velno::platform {

// One chunk of a copy. Small enough that a chunk moves to a slow USB 2 drive
// in well under the 100 ms the window may wait between events, and a whole
// number of sectors, as reads that bypass the host's cache need.
inline constexpr std::size_t kCopyChunkBytes = std::size_t{256} * 1024;
// The alignment of the chunk buffer, for the same reason.
inline constexpr std::size_t kCopyBufferAlignment = std::size_t{64} * 1024;

// How many temporary names a copy tries in a folder before it gives up.
inline constexpr int kTemporaryNames = 1000;

// The smallest whole even second at or after the time: what a FAT volume,
// which keeps times to 2 seconds, holds of a time it cannot keep exactly,
// rounded up so that the copy never looks older than its source.
DateTime RoundUpToEvenSecond(DateTime time);

// The bytes a copy wrote, as a chained 64-bit XXH3 hash and a count.
class WrittenBytes {
public:
    void Add(std::span<const char> bytes);
    bool operator==(const WrittenBytes&) const = default;

private:
    std::uint64_t hash_ = 0;
    std::uint64_t count_ = 0;
};

// What is at a copy's destination before it.
enum class AtDestination { kNone, kFile, kReadOnlyFile, kFolder };

// A copy is refused before anything is written in these cases; each host
// gives the system's own message for them.
enum class CopyRefusal { kDestinationIsFolder, kDestinationExists };

// The host's side of one copy. Every primitive that fails throws
// PlatformError through Fail (operation CopyFile, both paths named).
class CopySteps {
public:
    CopySteps(std::string source_text, std::string destination_text);
    virtual ~CopySteps() = default;
    CopySteps(const CopySteps&) = delete;
    CopySteps& operator=(const CopySteps&) = delete;

    // The caller's texts of the source and destination, for the report.
    const std::vector<std::string>& Texts() const { return texts_; }
    [[noreturn]] void Fail(const std::string& system_message) const;

    // What is at the destination now.
    virtual AtDestination Destination() = 0;
    [[noreturn]] virtual void Refuse(CopyRefusal refusal) = 0;
    // Opens the source (refusing a folder) and returns its modification time.
    virtual DateTime OpenSource() = 0;
    // Fills the buffer from the source; fewer bytes only at its end.
    virtual std::size_t ReadSource(std::span<char> buffer) = 0;
    // Creates a new temporary file in the destination's folder.
    virtual void CreateTemporary() = 0;
    virtual void WriteTemporary(std::span<const char> bytes) = 0;
    // Sets the temporary file's modification time; returns what it kept.
    virtual DateTime SetTemporaryTime(DateTime time) = 0;
    // Flushes the temporary file to the device and closes it.
    virtual void FlushTemporary() = 0;
    // Opens the temporary file again so that reads come from the device,
    // not from the host's cache.
    virtual void OpenReadBack() = 0;
    // Fills the buffer (aligned to kCopyBufferAlignment, a whole number of
    // chunks long) from the temporary file; fewer bytes only at its end.
    virtual std::size_t ReadBack(std::span<char> buffer) = 0;
    // Renames the temporary file over the destination in one step, also
    // over a read-only destination.
    virtual void ReplaceDestination(bool read_only) = 0;
    // The destination's modification time, and setting it.
    virtual DateTime DestinationTime() = 0;
    virtual void SetDestinationTime(DateTime time) = 0;
    // Makes the renamed file's entry durable on the device: the file at its
    // new name first, then its folder (docs/safety.md says why).
    virtual void FlushDestination() = 0;
    // Closes what is open and removes the temporary file, if any; never
    // fails (a copy that already failed reports its first failure).
    virtual void RemoveTemporary() noexcept = 0;

private:
    std::vector<std::string> texts_;
};

// The thread that runs the blocking steps of copies (reading and writing a
// chunk, the flush, opening the file again) while the caller's thread, the
// window's, keeps calling between_chunks: a device that stalls for a moment
// never stalls the window. It starts with its first step and serves every
// copy of its owner, so that a run of many small files does not start and
// end a thread for each. One step runs at a time and the caller waits for
// it, so nothing else touches the copy's files meanwhile; its owner copies
// one file at a time.
class CopyWorker {
public:
    CopyWorker() = default;
    ~CopyWorker();
    CopyWorker(const CopyWorker&) = delete;
    CopyWorker& operator=(const CopyWorker&) = delete;

    // Runs the step there, calling between_chunks here every 25 ms until it
    // ends, and rethrows its failure here. Should between_chunks throw, the
    // step is waited for before that goes on.
    void Run(const std::function<void()>& step, const ChunkCallback& between_chunks);

private:
    void Serve();

    std::mutex mutex_;
    std::condition_variable changed_;
    const std::function<void()>* step_ = nullptr;
    bool done_ = false;
    bool quit_ = false;
    std::exception_ptr failure_;
    std::thread thread_;
};

// Copies as described above. Each step that may block runs on the worker
// while this thread calls between_chunks every 25 ms, so a step that lasts
// gives turns also before the first chunk is written and after the last;
// between_chunks is also called once between two chunks (of the writing and
// of the reading back). Refuses a folder at the
// destination, and an existing destination without overwrite. On any
// failure, including an exception from between_chunks or a read-back that
// differs from what was written, the temporary file is removed and the
// destination is as it was.
void CopyVerified(CopySteps& steps, bool overwrite, const ChunkCallback& between_chunks,
                  CopyWorker& worker);
// The same with a worker of its own for this one copy.
void CopyVerified(CopySteps& steps, bool overwrite, const ChunkCallback& between_chunks);

}  // namespace velno::platform
