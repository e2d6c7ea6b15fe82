#include <cmath>

#include "update/messages.h"
#include "update/update.h"

namespace velno::update {

namespace {

// The number of entries: the lines up to the end of the file, or up to and
// including the first empty line; none when the first line is empty. A line
// end after the last line adds no entry.
long CountEntries(platform::Runtime& runtime) {
    std::string line = runtime.ReadLine();
    if (line.empty()) {
        return 0;
    }
    long count = 1;
    while (!line.empty() && !runtime.AtEnd()) {
        ++count;
        line = runtime.ReadLine();
    }
    return count;
}

void ApplyDelete(UpdateContext& context, const std::string& line) {
    platform::FileSystemObject& fs = context.fs();
    const std::string target = context.instrument.drive->Path() + line.substr(1);
    if (fs.FileExists(target)) {
        fs.DeleteFile(target, true);
    }
}

void ApplyInstall(UpdateContext& context, const std::string& line) {
    platform::FileSystemObject& fs = context.fs();
    platform::Runtime& runtime = context.runtime;
    const std::string name = fs.GetFileName(line);
    // A line ending in a separator, "." or ".." names a folder, not a file:
    // there is nothing to install, and a staged path built from it would
    // point outside the staging folder.
    if (name.empty() || name == "." || name == "..") {
        return;
    }
    const std::string folder_part = fs.GetParentFolderName(line);
    const std::string staged = context.paths.staging_folder + name;
    const std::string target = context.instrument.drive->Path() + line;
    const std::string destination_folder = context.instrument.drive->Path() + folder_part;

    if (!fs.FolderExists(destination_folder)) {
        fs.CreateFolder(destination_folder);
    }
    if (!fs.FileExists(staged)) {
        context.user.ShowMessage(MissingFileMessage(name), platform::Buttons::kOk,
                                 platform::Icon::kNone);
        return;
    }
    const auto pump = [&context] { context.user.PumpEvents(); };
    if (fs.FileExists(target)) {
        const platform::DateTime installed = runtime.FileModifiedTime(target);
        const platform::DateTime offered = runtime.FileModifiedTime(staged);
        if (offered > installed) {
            fs.DeleteFile(target, true);
            fs.CopyFile(staged, target, true, pump);
        }
    } else {
        fs.CopyFile(staged, target, true, pump);
    }
}

}  // namespace

EntryKind ClassifyLine(const std::string& line) {
    if (line.empty()) {
        return EntryKind::kEnd;
    }
    return line.front() == '-' ? EntryKind::kDelete : EntryKind::kInstall;
}

void ApplyPositionList(UpdateContext& context) {
    platform::Runtime& runtime = context.runtime;
    runtime.OpenTextInput(context.paths.position_file);
    const long count = CountEntries(runtime);
    if (count <= 0) {
        return;
    }
    runtime.Rewind();

    for (long i = 0; i < count; ++i) {
        context.user.PumpEvents();
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
