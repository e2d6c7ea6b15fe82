#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <unordered_set>

#include "update/paths.h"
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

std::int64_t Clusters(std::uint64_t bytes, std::uint64_t cluster_bytes) {
    return static_cast<std::int64_t>((bytes + cluster_bytes - 1) / cluster_bytes);
}

// The backup moves the memory images of the drive's root away before the
// list is applied, so a target that names one is absent by then, whatever
// is there now. An image that stays (the user keeps it, or it is hidden)
// would take no more room than that.
bool MovedByBackup(const std::string& key) {
    return key.rfind('\\') == 0 && platform::WildcardMatch(kImageNames, key.substr(1));
}

// The most room, in clusters, that the copies of the list will hold at any
// moment, read from the list's start one line at a time. Copies run one
// after the other: each needs its whole new file while the file it replaces
// still exists, and afterwards holds only the difference. As an upper bound
// every staged file counts as a new file, and only the staging folder is
// looked at: no copy can hold more, whatever the instrument already has.
std::uint64_t ClustersNeeded(UpdateContext& context, std::uint64_t cluster_bytes,
                             bool upper_bound) {
    platform::FileSystemObject& fs = context.fs();
    // Only targets that will be copied are kept: a second line naming the
    // same target finds it up to date once the first has copied it.
    std::unordered_set<std::string> copied;
    std::int64_t held = 0;
    std::int64_t peak = 0;
    const auto count = [&](const std::string& line) {
        context.turns.WhenDue();
        if (ClassifyLine(line) != EntryKind::kInstall) {
            return;
        }
        const std::optional<InstallEntry> entry = InstallEntryOf(context, line);
        if (!entry || !fs.FileExists(entry->staged)) {
            return;
        }
        if (upper_bound) {
            peak += Clusters(fs.GetFile(entry->staged)->Size(), cluster_bytes);
            return;
        }
        const std::string key = TargetKey(line);
        if (copied.contains(key)) {
            return;
        }
        context.turns.WhenDue();
        const TargetState state =
            MovedByBackup(key) ? TargetState::kAbsent : TargetStateOf(context, *entry);
        if (state == TargetState::kUpToDate) {
            return;
        }
        copied.insert(key);
        context.turns.WhenDue();
        const std::int64_t added = Clusters(fs.GetFile(entry->staged)->Size(), cluster_bytes);
        const std::int64_t replaced =
            state == TargetState::kOlder
                ? Clusters(fs.GetFile(entry->target)->Size(), cluster_bytes)
                : 0;
        peak = std::max(peak, held + added);
        held += added - replaced;
    };
    context.runtime.Rewind();
    ReadEntries(context.runtime, count);
    return static_cast<std::uint64_t>(peak);
}

// The backup copies each memory image of the drive's root into OldRel and
// only then deletes it there, so while an image is copied its copy needs
// room as a new file; afterwards the backup has freed at least as much as
// it took. The most room it holds at any moment is the largest image's.
std::uint64_t ClustersForBackup(UpdateContext& context, std::uint64_t cluster_bytes) {
    const std::string& drive_path = context.instrument.drive_path;
    std::int64_t largest = 0;
    for (std::string name =
             context.runtime.FirstMatch(drive_path + "\\" + std::string(kImageNames));
         !name.empty(); name = context.runtime.NextMatch()) {
        context.turns.WhenDue();
        largest = std::max(largest, Clusters(context.fs().GetFile(drive_path + "\\" + name)->Size(),
                                             cluster_bytes));
    }
    return static_cast<std::uint64_t>(largest);
}

}  // namespace

void CheckFreeSpace(UpdateContext& context) {
    const platform::VolumeSpace space = context.instrument.drive->Space();
    if (space.total_bytes == 0 || space.cluster_bytes == 0) {
        return;  // the file system gives no usable figure
    }
    // The list is read as a stream, once for the bound and once more for the
    // exact figure when needed; the check leaves it closed.
    context.runtime.OpenTextInput(context.paths.position_file);
    // When every staged file fits as a new one, the targets on the
    // instrument need not be looked at: on a slow device that is most of the
    // time of a run that finds everything up to date.
    // The backup's copies come before the list's, never at the same time.
    const std::uint64_t cluster = space.cluster_bytes;
    const std::uint64_t backup = ClustersForBackup(context, cluster) * cluster;
    std::uint64_t needed = std::max(backup, ClustersNeeded(context, cluster, true) * cluster);
    if (needed > space.free_bytes) {
        needed = std::max(backup, ClustersNeeded(context, cluster, false) * cluster);
    }
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
