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
            fs.DeleteFile(saved_path, true);
        }
        fs.MoveFile(source_path, saved_path);
    }
}

}  // namespace velno::update
