#pragma once

#include <cstdint>
#include <functional>

#include "app/view.h"
#include "app/window_description.h"
#include "platform/contract.h"
#include "update/records.h"

namespace velno::app {

// The updater's window logic: it owns the shared records for the program's
// life and handles the window's two events, loading and a button press.
// The controller (app/controller.h) hands those events on to it.
class Form1 {
public:
    Form1(platform::Platform& platform, platform::UserServices& user, View& view);

    // The load handler: finds the instrument's drive and sets the caption,
    // or ends the program (ProgramEnded) when the user cancels.
    void DetectInstrument();

    // The press handler of the Command1 array: 0 starts the update, 1 ends
    // the program, any other index does nothing.
    void DispatchCommand(std::int16_t index);

    // A run is in progress: the window must not close now.
    bool Running() const { return running_; }
    bool Completed() const { return completed_; }

    const update::InstrumentDrive& Instrument() const { return instrument_; }

private:
    platform::Platform& platform_;
    platform::UserServices& user_;
    View& view_;
    update::InstrumentDrive instrument_;
    update::UpdatePaths paths_;
    bool running_ = false;
    bool completed_ = false;
};

// Runs one event handler of the window at the event boundary, so that no
// exception crosses the toolkit's event loop. Returns false when the program
// must end: the handler ended it, or a platform operation failed, in which
// case the error report has been shown.
bool RunAtEventBoundary(platform::UserServices& user, const std::function<void()>& handler);

}  // namespace velno::app
