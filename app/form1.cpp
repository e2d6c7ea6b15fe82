#include "app/form1.h"

#include "update/update.h"

namespace velno::app {

Form1::Form1(platform::Platform& platform, platform::UserServices& user, View& view)
    : platform_(platform), user_(user), view_(view) {}

void Form1::DispatchCommand(std::int16_t index) {
    // The run disables both buttons first; a press that slips past while it
    // runs (its events are pumped) does nothing, "Exit" included.
    if (running_) {
        return;
    }
    if (index == 1) {
        user_.EndProgram();
    }
    // One update per start of the program: the run disables "Start Updating"
    // and never enables it again, and this refuses a press that slips past.
    if (index != 0 || completed_) {
        return;
    }
    // A run that ends the program early must not leave the window believing
    // a run is still going, or the front end could not close it.
    struct RunningFlag {
        bool& flag;
        explicit RunningFlag(bool& f) : flag(f) { flag = true; }
        ~RunningFlag() { flag = false; }
    } running_flag(running_);
    update::UpdateContext context{platform_.GetRuntime(), user_, view_, instrument_, paths_};
    update::RunUpdate(context);
    completed_ = true;
}

bool RunAtEventBoundary(platform::UserServices& user, const std::function<void()>& handler) {
    try {
        handler();
        return true;
    } catch (const platform::ProgramEnded&) {
        return false;
    } catch (const platform::PlatformError& error) {
        user.ShowMessage(platform::ErrorReportText(error), platform::Buttons::kOk,
                         platform::Icon::kCritical);
        return false;
    } catch (const std::exception& error) {
        user.ShowMessage(std::string("The updater stopped because of an unexpected error: ") +
                             error.what() + "\n\nThe updater will now close.",
                         platform::Buttons::kOk, platform::Icon::kCritical);
        return false;
    }
}

}  // namespace velno::app
