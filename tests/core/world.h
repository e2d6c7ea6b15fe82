#pragma once

// The typical instrument, with a.bin, b.bin, c.bin, older.bin, same.bin,
// later.bin and locked.bin staged ("new " and the name's stem, at time 50),
// and the window's logic, for the logic's tests.

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
    explicit World(bool connected = true) : Instrument(connected) {
        Add("a.bin=new a@50\nb.bin=new b@50\nc.bin=new c@50\nolder.bin=new older@50\n"
            "same.bin=new same@50\nlater.bin=new later@50\nlocked.bin=new locked@50\n",
            "C:\\Upd\\mtmp");
    }
    fake::FakeUser user{log};
    fake::RecordingView view{log};
    app::Form1 form{host, user, view};

    // Detection, then a press of "Start Updating", each at the event boundary
    // as the window runs them; true when the run completed.
    bool Run() { return fake::DetectAndStart(form, user); }

    void ExpectState(const WindowState& state) const {
        for (const app::ControlDescription& c : app::Form1Description().controls) {
            EXPECT_EQ(view.visible.at(c.id), state.Visible(c.id)) << state.name << " " << c.name;
            EXPECT_EQ(view.enabled.at(c.id), state.Enabled(c.id)) << state.name << " " << c.name;
        }
    }
};

}  // namespace velno::testing
