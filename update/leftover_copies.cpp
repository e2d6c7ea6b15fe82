#include <set>

#include "update/update.h"

namespace velno::update {

namespace {

// How many folders the clearing remembers as cleared: a list that names more
// is still read in little memory, and a folder named again after that is
// merely looked at again.
constexpr std::size_t kRememberedFolders = 1024;

}  // namespace

void ClearLeftoverCopies(UpdateContext& context) {
    platform::Runtime& runtime = context.runtime;
    std::set<std::string> cleared;
    const auto clear = [&](const std::string& folder) {
        if (cleared.size() == kRememberedFolders) {
            cleared.clear();
        }
        if (!cleared.insert(platform::FoldCase(folder)).second) {
            return;
        }
        const std::string pattern(platform::kTemporaryCopyPattern);
        for (std::string name = runtime.FirstMatch(folder + "\\" + pattern); !name.empty();
             name = runtime.NextMatch()) {
            context.turns.WhenDue();
            if (platform::IsTemporaryCopy(name)) {
                runtime.RemoveFile(folder + "\\" + name);
            }
        }
    };
    clear(context.paths.old_rel_folder);
    runtime.OpenTextInput(context.paths.position_file);
    ReadEntries(runtime, [&](const std::string& line) {
        context.turns.WhenDue();
        const std::optional<InstallEntry> entry = InstallEntryOf(context, line);
        if (!entry) {
            return;
        }
        // Every level down to the destination folder: a new folder's empty
        // marker, left there by a power cut, may lie in a level the list
        // only passes through.
        clear(entry->destination_folder);
        std::string level = context.instrument.drive->Path();
        for (const std::string& component : platform::ResolveBelowRoot(entry->folder_part)) {
            context.turns.WhenDue();
            clear(level += "\\" + component);
        }
    });
}

}  // namespace velno::update
