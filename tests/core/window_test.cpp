#include <set>

#include "core/world.h"

namespace velno::testing {
namespace {

using app::ControlDescription;
using app::Form1Description;
using app::WindowState;

TEST(WindowDescription, ControlsSitWhereTheyAreDrawn) {
    const auto& form = Form1Description();
    EXPECT_EQ(form.ClientWidthPixels(), 563);
    EXPECT_EQ(form.ClientHeightPixels(), 196);
    struct Expected {
        Control id;
        app::Rect pixels;
        int tab;
    };
    for (const Expected& e : {Expected{Control::kProgressBar1, {16, 8, 529, 41}, 6},
                              Expected{Control::kLabel1, {32, 8, 497, 89}, 2},
                              Expected{Control::kLabel4, {32, 56, 497, 25}, 5},
                              Expected{Control::kLabel2, {184, 72, 217, 25}, 3},
                              Expected{Control::kLabel3, {32, 104, 489, 49}, 4},
                              Expected{Control::kStartButton, {24, 152, 121, 33}, 0},
                              Expected{Control::kExitButton, {416, 152, 121, 33}, 1}}) {
        const ControlDescription& c = form.Find(e.id);
        const app::Rect p = c.Pixels();
        EXPECT_EQ(std::tie(p.left, p.top, p.width, p.height),
                  std::tie(e.pixels.left, e.pixels.top, e.pixels.width, e.pixels.height))
            << c.name;
        EXPECT_EQ(c.tab_index, e.tab) << c.name;
        // Twips are whole pixels at 15 twips each.
        EXPECT_EQ(c.twips.left % 15 + c.twips.top % 15 + c.twips.width % 15 + c.twips.height % 15,
                  0);
    }
}

TEST(WindowDescription, TextsAreExact) {
    const auto& form = Form1Description();
    EXPECT_EQ(form.creation_title, "VELNO5 updater");
    EXPECT_EQ(form.Find(Control::kStartButton).text, "Start Updating");
    EXPECT_EQ(form.Find(Control::kExitButton).text, "Exit");
    EXPECT_EQ(form.Find(Control::kLabel2).text, "PLEASE WAIT");
    const std::string_view instructions = form.Find(Control::kLabel1).text;
    EXPECT_NE(instructions.find("holding down  F6 tab for 3 seconds. While"),
              std::string_view::npos);
    EXPECT_TRUE(instructions.starts_with("Now you are ready to update your VELNO . Please"));
    EXPECT_TRUE(instructions.ends_with("reboot automatically when completed ."));
    EXPECT_EQ(instructions.size(), 283U);
    EXPECT_EQ(app::kCaptionPrefix.size(), 30U);
}

TEST(WindowDescription, OverlappingControlsAreNeverShownTogether) {
    const std::pair<Control, Control> overlapping[] = {
        {Control::kLabel1, Control::kProgressBar1},
        {Control::kLabel1, Control::kLabel4},
        {Control::kLabel1, Control::kLabel2},
        {Control::kLabel4, Control::kLabel2},
    };
    for (WindowState state : {WindowState::kReady, WindowState::kRunningPreparing,
                              WindowState::kRunningPositionList, WindowState::kCompleted}) {
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
