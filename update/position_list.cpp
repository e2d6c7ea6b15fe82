#include <cmath>

#include "update/messages.h"
#include "update/update.h"

namespace velno::update {

namespace {

void ApplyDelete(UpdateContext& context, const std::string& line) {
    const Entry entry = EntryOf(line);
    if (!entry.Acts()) {
        return;
    }
    platform::FileSystemObject& fs = context.fs();
    const std::string target = context.instrument.drive->Path() + entry.target;
    if (fs.FileExists(target)) {
        fs.DeleteFile(target, true);
    }
}

// Creates the destination folder together with every missing level above
// it, top down. The levels come from the lexical resolution, so none lies
// above the drive's root.
void CreateDestinationFolder(UpdateContext& context, const InstallEntry& entry) {
    platform::FileSystemObject& fs = context.fs();
    if (fs.FolderExists(entry.destination_folder)) {
        return;
    }
    std::string level = context.instrument.drive->Path();
    for (const std::string& component : platform::ResolveBelowRoot(entry.folder_part)) {
        context.turns.WhenDue();
        level += "\\" + component;
        if (!fs.FolderExists(level)) {
            fs.CreateFolder(level);
        }
    }
}

void ApplyInstall(UpdateContext& context, const std::string& line) {
    platform::FileSystemObject& fs = context.fs();
    const std::optional<InstallEntry> entry = InstallEntryOf(context, line);
    if (!entry) {
        return;
    }
    CreateDestinationFolder(context, *entry);
    context.turns.WhenDue();
    if (!fs.FileExists(entry->staged)) {
        context.user.ShowMessage(MissingFileMessage(entry->name), platform::Buttons::kOk,
                                 platform::Icon::kNone);
        return;
    }
    // The copy replaces an older installed file in one step: deleting it
    // first would leave neither file when the copy fails.
    if (TargetStateOf(context, *entry) != TargetState::kUpToDate) {
        context.turns.WhenDue();
        fs.CopyFile(entry->staged, entry->target, true, [&context] { context.turns.Turn(); });
    }
}

}  // namespace

EntryKind ClassifyLine(const std::string& line) {
    if (line.empty()) {
        return EntryKind::kEnd;
    }
    return line.front() == '-' ? EntryKind::kDelete : EntryKind::kInstall;
}

long ReadEntries(platform::Runtime& runtime, const std::function<void(const std::string&)>& visit) {
    std::string line = runtime.ReadLine();
    if (line.empty()) {
        return 0;
    }
    long count = 1;
    for (;;) {
        if (visit) {
            visit(line);
        }
        if (line.empty() || runtime.AtEnd()) {
            return count;
        }
        ++count;
        line = runtime.ReadLine();
    }
}

Entry EntryOf(const std::string& line) {
    Entry entry;
    entry.kind = ClassifyLine(line);
    if (entry.kind == EntryKind::kEnd) {
        return entry;
    }
    const std::string_view rest =
        entry.kind == EntryKind::kDelete ? std::string_view(line).substr(1) : line;
    if (entry.kind == EntryKind::kInstall) {
        entry.name = platform::GetFileName(line);
        // A name that resolves to nothing names a folder, not a file: there
        // is nothing to install, and a staged path built from it would
        // point at the staging folder or above it.
        if (platform::ResolveBelowRoot(entry.name).empty()) {
            return entry;
        }
    }
    for (const std::string& component : platform::ResolveBelowRoot(rest)) {
        entry.target += "\\" + component;
    }
    return entry;
}

std::optional<InstallEntry> InstallEntryOf(UpdateContext& context, const std::string& line) {
    const Entry meaning = EntryOf(line);
    if (meaning.kind != EntryKind::kInstall || !meaning.Acts()) {
        return std::nullopt;
    }
    const std::string drive_path = context.instrument.drive->Path();
    InstallEntry entry;
    entry.name = meaning.name;
    entry.folder_part = platform::GetParentFolderName(meaning.target);
    entry.staged = context.paths.staging_folder + entry.name;
    entry.target = drive_path + meaning.target;
    entry.destination_folder = drive_path + entry.folder_part;
    return entry;
}

TargetState TargetStateOf(UpdateContext& context, const InstallEntry& entry) {
    if (!context.fs().FileExists(entry.target)) {
        return TargetState::kAbsent;
    }
    const platform::DateTime installed = context.runtime.FileModifiedTime(entry.target);
    const platform::DateTime offered = context.runtime.FileModifiedTime(entry.staged);
    return offered > installed ? TargetState::kOlder : TargetState::kUpToDate;
}

void ApplyPositionList(UpdateContext& context) {
    platform::Runtime& runtime = context.runtime;
    runtime.OpenTextInput(context.paths.position_file);
    const long count =
        ReadEntries(runtime, [&context](const std::string&) { context.turns.WhenDue(); });
    if (count <= 0) {
        return;
    }
    runtime.Rewind();

    for (long i = 0; i < count; ++i) {
        context.turns.Turn();
        // Set before the entry is read: the bar counts the entries already
        // done, so it never reaches its maximum during the pass.
        const double maximum = context.window.ProgressMax();
        context.window.SetProgressValue(static_cast<float>(
            std::floor(static_cast<double>(i) * maximum / static_cast<double>(count))));

        const std::string line = runtime.ReadLine();
        switch (ClassifyLine(line)) {
            case EntryKind::kEnd:
                break;
            case EntryKind::kDelete:
                ApplyDelete(context, line);
                break;
            case EntryKind::kInstall:
                ApplyInstall(context, line);
                break;
        }
    }
}

}  // namespace velno::update
