#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <unordered_set>

#include "update/update.h"

namespace velno::update {

namespace {

// A target as the host resolves it, in one case: two lines naming the same
// file give the same key.
std::string TargetKey(const std::string& line) {
    std::string key;
    for (const std::string& component : platform::ResolveBelowRoot(line)) {
        key += "\\" + component;
    }
    return platform::FoldCase(key);
}

// Bytes as megabytes with one decimal, rounded up or down.
std::string Megabytes(std::uint64_t bytes, bool round_up) {
    constexpr std::uint64_t kMegabyte = 1024 * 1024;
    const std::uint64_t tenths = (bytes * 10 + (round_up ? kMegabyte - 1 : 0)) / kMegabyte;
    char text[32];
    std::snprintf(text, sizeof text, "%llu.%llu MB", static_cast<unsigned long long>(tenths / 10),
                  static_cast<unsigned long long>(tenths % 10));
    return text;
}

// The most room, in clusters, that the copies of the list will hold at any
// moment. Copies run one after the other: each needs its whole new file
// while the file it replaces still exists, and afterwards holds only the
// difference.
std::uint64_t ClustersNeeded(UpdateContext& context, std::uint64_t cluster_bytes) {
    platform::FileSystemObject& fs = context.fs();
    const auto clusters = [cluster_bytes](std::uint64_t bytes) {
        return static_cast<std::int64_t>((bytes + cluster_bytes - 1) / cluster_bytes);
    };
    // Only targets that will be copied are kept: a second line naming the
    // same target finds it up to date once the first has copied it.
    std::unordered_set<std::string> copied;
    std::int64_t held = 0;
    std::int64_t peak = 0;
    ReadEntries(context.runtime, [&](const std::string& line) {
        if (ClassifyLine(line) != EntryKind::kInstall) {
            return;
        }
        const std::optional<InstallEntry> entry = InstallEntryOf(context, line);
        if (!entry || !fs.FileExists(entry->staged) || copied.contains(TargetKey(line))) {
            return;
        }
        const TargetState state = TargetStateOf(context, *entry);
        if (state == TargetState::kUpToDate) {
            return;
        }
        copied.insert(TargetKey(line));
        const std::int64_t added = clusters(fs.GetFile(entry->staged)->Size());
        const std::int64_t replaced =
            state == TargetState::kOlder ? clusters(fs.GetFile(entry->target)->Size()) : 0;
        peak = std::max(peak, held + added);
        held += added - replaced;
    });
    return static_cast<std::uint64_t>(peak);
}

}  // namespace

void CheckFreeSpace(UpdateContext& context) {
    const platform::VolumeSpace space = context.instrument.drive->Space();
    if (space.total_bytes == 0 || space.cluster_bytes == 0) {
        return;  // the file system gives no usable figure
    }
    context.runtime.OpenTextInput(context.paths.position_file);
    const std::uint64_t needed = ClustersNeeded(context, space.cluster_bytes) * space.cluster_bytes;
    context.runtime.CloseAll();
    if (needed <= space.free_bytes) {
        return;
    }
    context.user.ShowMessage(
        "There is not enough space on the instrument for this update.\n\n"
        "It needs " +
            Megabytes(needed, true) + " but only " + Megabytes(space.free_bytes, false) +
            " are free.\n\nNothing was changed.",
        platform::Buttons::kOk, platform::Icon::kCritical);
    context.user.EndProgram();
}

}  // namespace velno::update
