#include "platform/copy_engine.h"

#include <future>
#include <memory>
#include <new>

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace velno::platform {

namespace {

// One chunk buffer, aligned as reads that bypass the cache need.
struct AlignedDelete {
    void operator()(char* bytes) const {
        ::operator delete[](bytes, std::align_val_t{kCopyBufferAlignment});
    }
};
using ChunkBuffer = std::unique_ptr<char[], AlignedDelete>;

ChunkBuffer NewChunkBuffer() {
    return ChunkBuffer(static_cast<char*>(
        ::operator new[](kCopyChunkBytes, std::align_val_t{kCopyBufferAlignment})));
}

// Removes the temporary file unless it has replaced the destination.
class TemporaryGuard {
public:
    explicit TemporaryGuard(CopySteps& steps) : steps_(steps) {}
    ~TemporaryGuard() {
        if (!committed_) {
            steps_.RemoveTemporary();
        }
    }
    TemporaryGuard(const TemporaryGuard&) = delete;
    TemporaryGuard& operator=(const TemporaryGuard&) = delete;
    void Commit() { committed_ = true; }

private:
    CopySteps& steps_;
    bool committed_ = false;
};

// How often the window gets a turn while a flush runs.
constexpr std::chrono::milliseconds kFlushTurn{25};

// Runs steps that may block for as long as the device needs (a flush) on a
// worker thread, and meanwhile keeps calling between_chunks on this thread,
// so the window stays alive. Nothing else touches the copy's files while
// the step runs; its failure is rethrown here. Should between_chunks throw,
// the step is waited for before the copy cleans up.
void WhilePumping(const std::function<void()>& step, const ChunkCallback& between_chunks) {
    std::future<void> done = std::async(std::launch::async, step);
    while (between_chunks && done.wait_for(kFlushTurn) != std::future_status::ready) {
        between_chunks();
    }
    done.get();
}

}  // namespace

FileTime RoundUpToEvenSecond(FileTime time) {
    auto seconds = std::chrono::ceil<std::chrono::seconds>(time);
    if (seconds.time_since_epoch().count() % 2 != 0) {
        seconds += std::chrono::seconds(1);
    }
    return seconds;
}

void WrittenBytes::Add(std::span<const char> bytes) {
    // Each chunk is hashed with the hash so far as its seed, so the order of
    // the chunks counts; the written bytes and the read-back are cut into
    // the same chunks.
    hash_ = XXH3_64bits_withSeed(bytes.data(), bytes.size(), hash_);
    count_ += bytes.size();
}

CopySteps::CopySteps(std::string source_text, std::string destination_text)
    : texts_{std::move(source_text), std::move(destination_text)} {}

void CopySteps::Fail(const std::string& system_message) const {
    throw PlatformError("CopyFile", texts_, system_message);
}

void CopyVerified(CopySteps& steps, bool overwrite, const ChunkCallback& between_chunks) {
    const EntryKind existing = steps.Destination();
    if (existing == EntryKind::kFolder) {
        steps.Refuse(CopyRefusal::kDestinationIsFolder);
    }
    if (existing != EntryKind::kNone && !overwrite) {
        steps.Refuse(CopyRefusal::kDestinationExists);
    }
    const FileTime staged_time = steps.OpenSource();

    const ChunkBuffer buffer = NewChunkBuffer();
    const std::span<char> chunk(buffer.get(), kCopyChunkBytes);
    bool moved_a_chunk = false;
    // Reads chunk after chunk and hands each on. A short read is the end:
    // no read follows at an offset that is not a whole number of sectors.
    const auto each_chunk = [&](auto read, auto use) {
        WrittenBytes bytes;
        for (std::size_t count = kCopyChunkBytes; count == kCopyChunkBytes;) {
            count = read(chunk);
            if (count > 0) {
                if (moved_a_chunk && between_chunks) {
                    between_chunks();
                }
                moved_a_chunk = true;
                use(chunk.first(count));
                bytes.Add(chunk.first(count));
            }
        }
        return bytes;
    };

    steps.CreateTemporary();
    TemporaryGuard temporary(steps);
    const WrittenBytes written =
        each_chunk([&](std::span<char> into) { return steps.ReadSource(into); },
                   [&](std::span<const char> bytes) { steps.WriteTemporary(bytes); });
    // Opening the file again can take as long as the flush: a FUSE volume
    // walks the whole file's clusters.
    WhilePumping(
        [&steps] {
            steps.FlushTemporary();
            steps.OpenReadBack();
        },
        between_chunks);
    const WrittenBytes read_back = each_chunk(
        [&](std::span<char> into) { return steps.ReadBack(into); }, [](std::span<const char>) {});
    if (!(read_back == written)) {
        steps.Fail("The copy read back from the device differs from what was written to it.");
    }

    steps.ReplaceDestination(existing == EntryKind::kReadOnlyFile);
    temporary.Commit();
    // The time is set after the rename: a file system may keep the times of
    // a renamed entry from before the rename.
    if (steps.SetDestinationTime(staged_time) < staged_time) {
        steps.SetDestinationTime(RoundUpToEvenSecond(staged_time));
    }
    steps.FlushFolder();
}

}  // namespace velno::platform
