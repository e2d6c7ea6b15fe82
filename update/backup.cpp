#include "update/messages.h"
#include "update/update.h"

namespace velno::update {

void BackUpMemoryImages(UpdateContext& context) {
    platform::FileSystemObject& fs = context.fs();
    platform::Runtime& runtime = context.runtime;
    const UpdatePaths& paths = context.paths;

    for (std::string name = runtime.FirstMatch(paths.image_pattern); !name.empty();
         name = runtime.NextMatch()) {
        context.turns.WhenDue();
        const std::string saved_path = paths.old_rel_folder + "\\" + name;
        const std::string source_path = context.instrument.drive_path + "\\" + name;
        const std::unique_ptr<platform::File> image = fs.GetFile(source_path);

        if (!fs.FolderExists(paths.old_rel_folder)) {
            fs.CreateFolder(paths.old_rel_folder);
        } else if (fs.FileExists(saved_path)) {
            const std::unique_ptr<platform::File> saved = fs.GetFile(saved_path);
            // A saved image newer than the one in the root is replaced only
            // when the user says so; an equal time counts as up to date.
            if (image->DateLastModified() < saved->DateLastModified() &&
                context.user.ShowMessage(std::string(kOverwriteQuestion), platform::Buttons::kYesNo,
                                         platform::Icon::kNone) != platform::Answer::kYes) {
                continue;
            }
        }
        // Copied through the verified copy, which replaces a saved image in
        // one step and leaves the new one durable in OldRel, and only then
        // removed from the root: a move from one folder into another
        // rewrites both folders' entries, and a power cut between the two
        // can leave the image in neither.
        fs.CopyFile(source_path, saved_path, true, [&context] { context.user.PumpEvents(); });
        context.turns.WhenDue();
        fs.DeleteFile(source_path, true);
    }
}

}  // namespace velno::update
