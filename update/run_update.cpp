#include "update/messages.h"
#include "update/paths.h"
#include "update/update.h"

namespace velno::update {

namespace {

using platform::Buttons;
using platform::Icon;

// Read-only, hidden and system: the bits that protect the system folder.
constexpr unsigned kProtectingBits =
    platform::kAttrReadOnly | platform::kAttrHidden | platform::kAttrSystem;
constexpr unsigned kHiddenSystem = platform::kAttrHidden | platform::kAttrSystem;

[[noreturn]] void Stop(UpdateContext& context, std::string_view message) {
    context.user.ShowMessage(std::string(message), Buttons::kOk, Icon::kCritical);
    context.user.EndProgram();
}

}  // namespace

void RunUpdate(UpdateContext& context) {
    WindowControls& window = context.window;
    platform::FileSystemObject& fs = context.fs();
    platform::Runtime& runtime = context.runtime;
    UpdatePaths& paths = context.paths;
    const std::string& drive_path = context.instrument.drive_path;

    // Disabling both buttons first is what keeps a second run or "Exit" from
    // being dispatched while events are pumped during the run.
    window.SetVisible(Control::kLabel4, false);
    window.SetVisible(Control::kLabel2, true);
    window.SetVisible(Control::kLabel3, true);
    window.SetEnabled(Control::kStartButton, false);
    window.SetEnabled(Control::kExitButton, false);

    // Both preconditions, and the room the copies need, are tested before
    // anything on the instrument changes.
    BuildStagingPaths(paths, runtime.ApplicationFolder());
    if (!fs.FileExists(paths.position_file)) {
        Stop(context, kPositionFileNotFound);
    }
    BuildInstrumentPaths(paths, drive_path);
    if (!fs.FolderExists(paths.system_folder)) {
        Stop(context, kSystemFolderNotFound);
    }
    context.turns.WhenDue();
    CheckFreeSpace(context);
    context.turns.WhenDue();
    ClearLeftoverCopies(context);

    if ((runtime.GetAttributes(paths.system_folder) & kProtectingBits) != 0) {
        runtime.SetAttributes(paths.system_folder, 0);
    }
    BuildImagePattern(paths, drive_path);
    // Removing the start-up settings makes the instrument start with factory
    // settings, as the window announced before the run.
    if (fs.FileExists(paths.startup_settings)) {
        runtime.RemoveFile(paths.startup_settings);
    }
    context.turns.WhenDue();

    BackUpMemoryImages(context);

    window.SetProgressValue(0);
    window.SetVisible(Control::kProgressBar1, true);
    ApplyPositionList(context);

    runtime.SetAttributes(paths.system_folder, kHiddenSystem);
    runtime.CloseAll();
    context.turns.WhenDue();
    // The completion screen tells the user to disconnect the cable: all that
    // was written must be on the device by then, not in a write cache. Where
    // the system does not let this user make sure of it, the screen does not
    // claim it.
    const bool written = runtime.FlushDrive(drive_path);
    // Unmounted before the screen says so, so the volume is clean when the
    // cable comes out. The window keeps its turns while the system works.
    const bool removed =
        runtime.PrepareForRemoval(drive_path, [&context] { context.user.PumpEvents(); });

    window.SetVisible(Control::kLabel2, false);
    window.SetVisible(Control::kLabel3, false);
    window.SetVisible(Control::kProgressBar1, false);
    window.SetVisible(Control::kLabel1, true);
    window.SetVisible(removed   ? Control::kLabel5
                      : written ? Control::kLabel6
                                : Control::kLabel7,
                      true);
    window.SetEnabled(Control::kExitButton, true);
}

}  // namespace velno::update
