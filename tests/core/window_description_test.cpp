#include <map>

#include "core/window_states.h"
#include "core/world.h"
#include "update/messages.h"

namespace velno::testing {
namespace {

using app::Form1Description;

// Every text the user can be shown, against the exact words and blanks it
// must have. Everything else compares with these texts.
TEST(WindowDescription, EveryTextIsExact) {
    const auto& form = Form1Description();
    const auto text = [&form](Control c) { return std::string(form.Of(c).text); };
    const struct {
        std::string actual;
        std::string_view expected;
    } texts[] = {
        {std::string(form.creation_title), "VELNO5 updater"},
        {std::string(app::kCaptionPrefix), "VELNO4 updater     Serial N.  "},
        {text(Control::kStartButton), "Start Updating"},
        {text(Control::kExitButton), "Exit"},
        {text(Control::kLabel4), "The start setup will be changed as factory default"},
        {text(Control::kLabel2), "PLEASE WAIT"},
        {text(Control::kLabel3),
         "WARNING : DO NOT TURN OFF THE KEYBOARD UNTIL THE UPDATE OPERATION WILL BE COMPLETED"},
        {text(Control::kLabel1),
         "Now you are ready to update your VELNO . Please disconnect the USB cable , turn off the "
         "keyboard then on again by holding down  F6 tab for 3 seconds. While the update routine "
         "is running , the leds at the right side will flash . The keyboard will reboot "
         "automatically when completed ."},
        {text(Control::kProgressBar1), ""},
        {std::string(app::kNotFoundMessage), "VELNO4 NOT FOUND , PLEASE CONNECT TO USB"},
        {std::string(update::kPositionFileNotFound), "Position file not found "},
        {std::string(update::kSystemFolderNotFound), "System folder not found !"},
        {std::string(update::kOverwriteQuestion),
         "Software file is older than saved one , OverWrite saved ??"},
        {update::MissingFileMessage("a.bin"), "File a.bin not found"},
    };
    for (const auto& [actual, expected] : texts) {
        EXPECT_EQ(actual, expected);
    }
}

// The window the run leaves at each step is the state it should be in, and
// at no step are two controls that share a place shown together.
TEST(WindowDescription, TheRunMovesThroughTheStates) {
    World w;
    w.PositionList("\\a.bin\r\n\\b.bin");
    w.Stage("a.bin", "A", 1);
    w.Stage("b.bin", "B", 1);
    const auto expect_state = [&](const WindowState& state) {
        for (const app::ControlDescription& c : Form1Description().controls) {
            EXPECT_EQ(w.view.Visible(c.id), state.Visible(c.id)) << state.name << " " << c.name;
            EXPECT_EQ(w.view.Enabled(c.id), state.Enabled(c.id)) << state.name << " " << c.name;
        }
    };
    expect_state(kReady);
    w.Detect();
    expect_state(kReady);
    w.user.OnPump([&] { expect_state(kPositionList); });
    w.host.AddFile("E:\\system\\OldRel\\Veln4main.mem", "newer", At(500));
    w.user.Answer(Answer::kNo, [&] { expect_state(kPreparing); });
    w.form.DispatchCommand(0);
    expect_state(kCompleted);
    World mounted;  // the same run where removal fails
    mounted.PositionList("");
    mounted.host.SetRemovable(false);
    mounted.Run();
    for (const app::ControlDescription& c : Form1Description().controls) {
        EXPECT_EQ(mounted.view.Visible(c.id), kCompletedStillMounted.Visible(c.id)) << c.name;
    }

    std::map<std::string, bool> shown;
    for (const app::ControlDescription& c : Form1Description().controls) {
        shown[fake::ControlName(c.id)] = c.visible_at_creation;
    }
    const std::pair<const char*, const char*> sharing[] = {{"Label1", "ProgressBar1"},
                                                           {"Label1", "Label4"},
                                                           {"Label1", "Label2"},
                                                           {"Label4", "Label2"},
                                                           {"Label5", "Label3"}};
    for (const std::string& entry : w.log.entries) {
        for (const auto& [prefix, visible] :
             {std::pair{"Show ", true}, std::pair{"Hide ", false}}) {
            if (entry.starts_with(prefix)) {
                shown.at(entry.substr(5)) = visible;
            }
        }
        for (const auto& [a, b] : sharing) {
            EXPECT_FALSE(shown[a] && shown[b]) << a << " and " << b << " after " << entry;
        }
    }
}

}  // namespace
}  // namespace velno::testing
