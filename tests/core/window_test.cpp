#include "core/world.h"

namespace velno::testing {
namespace {

using app::ControlDescription;
using app::Form1Description;
using app::WindowState;

TEST(WindowDescription, OverlappingControlsAreNeverShownTogether) {
    const std::pair<Control, Control> overlapping[] = {
        {Control::kLabel1, Control::kProgressBar1},
        {Control::kLabel1, Control::kLabel4},
        {Control::kLabel1, Control::kLabel2},
        {Control::kLabel4, Control::kLabel2},
        {Control::kLabel5, Control::kLabel3},
        {Control::kLabel6, Control::kLabel3},
        {Control::kLabel5, Control::kLabel6},
    };
    for (WindowState state :
         {WindowState::kReady, WindowState::kRunningPreparing, WindowState::kRunningPositionList,
          WindowState::kCompleted, WindowState::kCompletedStillMounted}) {
        for (const auto& [a, b] : overlapping) {
            EXPECT_FALSE(app::StateOf(state, a).visible && app::StateOf(state, b).visible);
        }
    }
}

// The window the run leaves at each step is the state the description gives.
TEST(WindowDescription, TheRunMovesThroughTheDescribedStates) {
    World w;
    w.PositionList("\\a.bin\r\n\\b.bin");
    w.Stage("a.bin", "A", 1);
    w.Stage("b.bin", "B", 1);
    const auto expect_state = [&](WindowState state, const char* when) {
        for (const ControlDescription& c : Form1Description().controls) {
            EXPECT_EQ(w.view.Visible(c.id), app::StateOf(state, c.id).visible)
                << when << " " << c.name;
            EXPECT_EQ(w.view.Enabled(c.id), app::StateOf(state, c.id).enabled)
                << when << " " << c.name;
        }
    };
    expect_state(WindowState::kReady, "created");
    w.Detect();
    expect_state(WindowState::kReady, "detected");
    w.user.OnPump([&] { expect_state(WindowState::kRunningPositionList, "position list"); });
    w.host.AddFile("E:\\system\\OldRel\\Veln4main.mem", "newer", At(500));
    w.user.Answer(Answer::kNo, [&] { expect_state(WindowState::kRunningPreparing, "backup"); });
    w.form.DispatchCommand(0);
    expect_state(WindowState::kCompleted, "completed");
}

}  // namespace
}  // namespace velno::testing
