#include "platform/copy_engine.h"

#include <memory>
#include <new>
#include <utility>

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

// How often the window gets a turn while a step of the copy runs.
constexpr std::chrono::milliseconds kTurn{25};

}  // namespace

DateTime RoundUpToEvenSecond(DateTime time) {
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

CopyWorker::~CopyWorker() {
    if (!thread_.joinable()) {
        return;
    }
    {
        const std::lock_guard lock(mutex_);
        quit_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void CopyWorker::Run(const std::function<void()>& step, const ChunkCallback& between_chunks) {
    if (!thread_.joinable()) {
        thread_ = std::thread([this] { Serve(); });
    }
    std::unique_lock lock(mutex_);
    step_ = &step;
    done_ = false;
    changed_.notify_all();
    while (!changed_.wait_for(lock, kTurn, [this] { return done_; })) {
        if (!between_chunks) {
            continue;
        }
        lock.unlock();
        try {
            between_chunks();
        } catch (...) {
            lock.lock();
            changed_.wait(lock, [this] { return done_; });
            throw;
        }
        lock.lock();
    }
    if (failure_) {
        std::rethrow_exception(std::exchange(failure_, nullptr));
    }
}

void CopyWorker::Serve() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return quit_ || step_ != nullptr; });
        if (quit_) {
            return;
        }
        const std::function<void()>* step = std::exchange(step_, nullptr);
        lock.unlock();
        std::exception_ptr failure;
        try {
            (*step)();
        } catch (...) {
            failure = std::current_exception();
        }
        lock.lock();
        failure_ = failure;
        done_ = true;
        changed_.notify_all();
    }
}

void CopyVerified(CopySteps& steps, bool overwrite, const ChunkCallback& between_chunks) {
    CopyWorker worker;
    CopyVerified(steps, overwrite, between_chunks, worker);
}

void CopyVerified(CopySteps& steps, bool overwrite, const ChunkCallback& between_chunks,
                  CopyWorker& worker) {
    const AtDestination existing = steps.Destination();
    if (existing == AtDestination::kFolder) {
        steps.Refuse(CopyRefusal::kDestinationIsFolder);
    }
    if (existing != AtDestination::kNone && !overwrite) {
        steps.Refuse(CopyRefusal::kDestinationExists);
    }
    const DateTime staged_time = steps.OpenSource();

    const ChunkBuffer buffer = NewChunkBuffer();
    const std::span<char> chunk(buffer.get(), kCopyChunkBytes);
    bool moved_a_chunk = false;
    // Reads chunk after chunk and hands each on, each on the worker. A short
    // read is the end: no read follows at an offset that is not a whole
    // number of sectors.
    const auto each_chunk = [&](auto read, auto use) {
        WrittenBytes bytes;
        for (std::size_t count = kCopyChunkBytes; count == kCopyChunkBytes;) {
            worker.Run([&] { count = read(chunk); }, between_chunks);
            if (count > 0) {
                if (moved_a_chunk && between_chunks) {
                    between_chunks();
                }
                moved_a_chunk = true;
                worker.Run(
                    [&] {
                        use(chunk.first(count));
                        bytes.Add(chunk.first(count));
                    },
                    between_chunks);
            }
        }
        return bytes;
    };

    steps.CreateTemporary();
    TemporaryGuard temporary(steps);
    const WrittenBytes written =
        each_chunk([&](std::span<char> into) { return steps.ReadSource(into); },
                   [&](std::span<const char> bytes) { steps.WriteTemporary(bytes); });
    // The time goes on the temporary file, so that the renamed entry carries
    // it from the start: a power cut between the rename and a later change
    // of time would leave a new file that looks newer than its staged file,
    // which a second run would then keep as it is.
    DateTime kept = steps.SetTemporaryTime(staged_time);
    if (kept < staged_time) {
        kept = steps.SetTemporaryTime(RoundUpToEvenSecond(staged_time));
    }
    // Opening the file again can take as long as the flush: a FUSE volume
    // walks the whole file's clusters.
    worker.Run(
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

    steps.ReplaceDestination(existing == AtDestination::kReadOnlyFile);
    temporary.Commit();
    // Some file systems stamp a renamed entry with the time of the rename.
    if (steps.DestinationTime() != kept) {
        steps.SetDestinationTime(kept);
    }
    steps.FlushDestination();
}

}  // namespace velno::platform
