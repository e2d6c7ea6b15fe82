#pragma once

// The typical instrument with the window's logic, for the logic's tests.

#include <gtest/gtest.h>

#include <string>

#include "app/form1.h"
#include "fake/fake_host.h"
#include "update/messages.h"

namespace velno::testing {

using fake::At;
using platform::Answer;
using update::Control;

// The window's states: which controls each shows and enables, one character
// per control in the order of Control, x for yes. A completed run says below
// the closing instructions whether the drive was removed.
struct WindowState {
    const char* name;
    std::string_view visible, enabled;
};

inline constexpr WindowState kReady{"Ready", "...x.xx..", "xxxxxxxxx"};
inline constexpr WindowState kPreparing{"Running, preparing", ".xx..xx..", "xxxxx..xx"};
inline constexpr WindowState kPositionList{"Running, position list", ".xx.xxx..", "xxxxx..xx"};
inline constexpr WindowState kCompleted{"Completed", "x....xxx.", "xxxxx.xxx"};
inline constexpr WindowState kCompletedStillMounted{"Completed, still mounted", "x....xx.x",
                                                    "xxxxx.xxx"};

struct World : fake::Instrument {
    using Instrument::Instrument;
    fake::FakeUser user{log};
    fake::RecordingView view{log};
    app::Form1 form{host, user, view};

    // Detection, then a press of "Start Updating", as the window does them.
    void Detect() { form.DetectInstrument(); }
    void Run() {
        Detect();
        form.DispatchCommand(0);
    }
    // The same, with every failure stopped at the event boundary; false when
    // the program ended.
    bool RunToBoundary() {
        return app::RunAtEventBoundary(user, [this] { Detect(); }) &&
               app::RunAtEventBoundary(user, [this] { form.DispatchCommand(0); });
    }

    unsigned Attributes(const std::string& path) const { return host.Find(path)->attributes; }

    void ExpectState(const WindowState& state) const {
        for (const app::ControlDescription& c : app::Form1Description().controls) {
            const std::size_t i = app::IndexOf(c.id);
            EXPECT_EQ(view.Visible(c.id), state.visible.at(i) == 'x') << state.name << c.name;
            EXPECT_EQ(view.Enabled(c.id), state.enabled.at(i) == 'x') << state.name << c.name;
        }
    }
};

}  // namespace velno::testing
