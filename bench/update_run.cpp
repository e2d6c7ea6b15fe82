// One whole update run through the Linux host, without a window: the
// position list of APP_FOLDER/mtmp is applied to the volume mounted at
// MOUNT_POINT exactly as the program applies it (preconditions, free-space
// check, backup, every entry with its verified copy, the drive's flush).
// Prints the run's time and the longest wait between two turns of the event
// loop, in a form bench/compare.sh reads:
//   seconds 12.345
//   longest-gap-ms 42.0
//   turns 1234
//   longest-gap-before-turn 1
// (1: before the first turn; turns + 1: after the last, to the end)
//
// Usage: velno_bench_update_run MOUNT_POINT APP_FOLDER
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "platform/linux/linux_platform.h"
#include "update/update.h"

namespace {

using Clock = std::chrono::steady_clock;
using velno::platform::Answer;
using velno::platform::Buttons;
using velno::platform::Icon;
using velno::update::Control;

// Answers every message box with OK, prints it (a run that stops early must
// say why), and times the turns of the event loop.
class BenchUser : public velno::platform::UserServices {
public:
    Answer ShowMessage(const std::string& text, Buttons, Icon) override {
        std::fprintf(stderr, "message: %s\n", text.c_str());
        return Answer::kOk;
    }
    void PumpEvents() override {
        const Clock::time_point now = Clock::now();
        if (now - last_ > longest_) {
            longest_ = now - last_;
            longest_before_ = turns_ + 1;
        }
        last_ = now;
        ++turns_;
    }
    // The wait after the last turn counts up to the end of the run, as if
    // the window then had its next turn.
    void Finish() {
        const long turns = turns_;
        PumpEvents();
        turns_ = turns;
    }
    Clock::duration Longest() const { return longest_; }
    // The turn that ended the longest wait: 1 for the first, one more than
    // the turns for the end of the run.
    long LongestBefore() const { return longest_before_; }
    long Turns() const { return turns_; }

private:
    Clock::time_point last_ = Clock::now();
    Clock::duration longest_{};
    long turns_ = 0;
    long longest_before_ = 0;
};

class NoWindow : public velno::update::WindowControls {
public:
    void SetVisible(Control, bool) override {}
    void SetEnabled(Control, bool) override {}
    void SetProgressValue(float) override {}
    float ProgressMax() override { return 100; }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s MOUNT_POINT APP_FOLDER\n", argv[0]);
        return 2;
    }
    const std::string mount_point = argv[1];
    velno::platform::linux_host::LinuxPlatform host(
        {.application_folder = argv[2], .drive_sources = {}, .remove_device = {}});
    velno::update::InstrumentDrive instrument;
    instrument.file_system = host.CreateFileSystemObject("Scripting.FileSystemObject");
    instrument.drive_list = instrument.file_system->Drives();
    for (const auto& drive : instrument.drive_list->Walk()) {
        if (drive->Path() == mount_point) {
            instrument.drive = drive;
            instrument.drive_path = drive->Path();
            instrument.root_folder = drive->RootFolder();
        }
    }
    if (!instrument.drive) {
        std::fprintf(stderr, "%s is not a mount point\n", mount_point.c_str());
        return 1;
    }

    BenchUser user;
    NoWindow window;
    velno::update::UpdatePaths paths;
    velno::update::UpdateContext context{host.GetRuntime(), user, window, instrument, paths};
    const Clock::time_point start = Clock::now();
    try {
        velno::update::RunUpdate(context);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "the run failed: %s\n", error.what());
        return 1;
    } catch (const velno::platform::ProgramEnded&) {
        std::fprintf(stderr, "the run ended early (message above)\n");
        return 1;
    }
    user.Finish();
    const std::chrono::duration<double> seconds = Clock::now() - start;
    const std::chrono::duration<double, std::milli> gap = user.Longest();
    std::printf("seconds %.3f\nlongest-gap-ms %.1f\nturns %ld\nlongest-gap-before-turn %ld\n",
                seconds.count(), gap.count(), user.Turns(), user.LongestBefore());
    return 0;
}
