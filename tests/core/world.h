#pragma once

// The typical instrument with the window's logic, for the logic's tests.

#include <gtest/gtest.h>

#include <string>

#include "app/form1.h"
#include "core/window_states.h"
#include "fake/fake_host.h"
#include "update/messages.h"

namespace velno::testing {

using fake::At;
using platform::Answer;
using update::Control;

struct World : fake::Instrument {
    using Instrument::Instrument;
    fake::FakeUser user{log};
    fake::RecordingView view{log};
    app::Form1 form{host, user, view};

    void Detect() { form.DetectInstrument(); }
    // Detection, then a press of "Start Updating", as the window does them.
    bool Run() { return fake::DetectAndStart(form, user); }

    void ExpectState(const WindowState& state) const {
        for (const app::ControlDescription& c : app::Form1Description().controls) {
            EXPECT_EQ(view.visible.at(c.id), state.Visible(c.id)) << state.name << " " << c.name;
            EXPECT_EQ(view.enabled.at(c.id), state.Enabled(c.id)) << state.name << " " << c.name;
        }
    }
};

}  // namespace velno::testing
