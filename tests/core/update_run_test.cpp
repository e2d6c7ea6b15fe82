#include "core/world.h"

namespace velno::testing {
namespace {

using platform::kAttrHidden;
using platform::kAttrReadOnly;
using platform::kAttrSystem;

// The visible and enabled controls, as one comparable text.
std::string Screen(const fake::RecordingView& view) {
    std::string text;
    for (Control c : {Control::kLabel1, Control::kLabel2, Control::kLabel3, Control::kLabel4,
                      Control::kProgressBar1, Control::kLabel5, Control::kLabel6}) {
        if (view.Visible(c)) {
            text += std::string(fake::ControlName(c)) + " ";
        }
    }
    text += view.Enabled(Control::kStartButton) ? "start:on " : "start:off ";
    text += view.Enabled(Control::kExitButton) ? "exit:on" : "exit:off";
    return text;
}

TEST(UpdateRun, AMissingPreconditionEndsTheProgramWithTheInstrumentUnchanged) {
    // A position file that is a folder is no position file either.
    struct Case {
        bool position_list;
        bool folder_as_list;
        std::string_view message;
    };
    for (const Case c : {Case{false, false, update::kPositionFileNotFound},
                         Case{false, true, update::kPositionFileNotFound},
                         Case{true, false, update::kSystemFolderNotFound}}) {
        World w;
        if (c.folder_as_list) {
            w.host.AddFolder("C:\\Upd\\mtmp\\position.txt");
        }
        if (c.position_list) {
            w.PositionList("\\a.bin\r\n");
            w.host.Erase("E:\\system\\init\\startup.ini");
            w.host.Erase("E:\\system");
        }
        w.Detect();
        const std::string before = w.host.Snapshot();
        w.user.Answer(Answer::kOk);
        EXPECT_THROW(w.form.DispatchCommand(0), platform::ProgramEnded);

        EXPECT_EQ(w.user.messages, std::vector<std::string>{std::string(c.message)});
        EXPECT_TRUE(w.log.Contains("ShowMessage " + std::string(c.message) + " |OK|critical"));
        EXPECT_EQ(w.host.Snapshot(), before);
        EXPECT_FALSE(w.log.Contains("GetAttributes")) << c.message;
        EXPECT_FALSE(w.log.Contains("FirstMatch")) << c.message;
        EXPECT_EQ(w.log.Contains("FolderExists E:\\system"), c.position_list);  // list first
        EXPECT_EQ(Screen(w.view), "Label2 Label3 start:off exit:off");
        EXPECT_FALSE(w.form.Running());
    }
}

TEST(UpdateRun, SystemFolderAttributesAreClearedThenSetToHiddenSystem) {
    struct Case {
        unsigned before;
        bool cleared;
    };
    for (const Case c : {Case{kAttrReadOnly, true}, Case{0, false},
                         Case{kAttrHidden | kAttrSystem, true}, Case{16, false}}) {
        World w;
        w.PositionList("");
        w.host.AddFolder("E:\\system", c.before);
        w.Run();
        EXPECT_EQ(w.log.Contains("SetAttributes 0 E:\\system"), c.cleared) << c.before;
        EXPECT_EQ(w.Attributes("E:\\system"), kAttrHidden | kAttrSystem) << c.before;
        // Cleared before anything else on the instrument changes.
        if (c.cleared) {
            EXPECT_LT(w.log.Find("SetAttributes 0"), w.log.Find("RemoveFile"));
        }
    }
}

TEST(UpdateRun, StepsRunInOrderAndEndInTheCompletedWindow) {
    World w;
    w.PositionList("\\system\\a.bin");
    w.Stage("a.bin", "A", 50);
    w.Detect();
    EXPECT_EQ(Screen(w.view), "Label4 start:on exit:on");
    w.form.DispatchCommand(0);

    const std::vector<std::string> milestones = {
        "Hide Label4",
        "Show Label2",
        "Show Label3",
        "Disable Command1(0)",
        "Disable Command1(1)",
        "ApplicationFolder",
        "FileExists C:\\Upd\\mtmp\\position.txt",
        "FolderExists E:\\system",
        "GetAttributes E:\\system",
        "SetAttributes 0 E:\\system",
        "FileExists E:\\system\\init\\startup.ini",
        "RemoveFile E:\\system\\init\\startup.ini",
        "FirstMatch E:\\Veln4*.mem",
        "Value 0",
        "Show ProgressBar1",
        "OpenTextInput C:\\Upd\\mtmp\\position.txt",
        "CopyFile C:\\Upd\\mtmp\\a.bin E:\\system\\a.bin",
        "SetAttributes 6 E:\\system",
        "CloseAll",
        "FlushDrive E:",
        "PrepareForRemoval E:",
        "Hide Label2",
        "Hide Label3",
        "Hide ProgressBar1",
        "Show Label1",
        "Show Label5",
        "Enable Command1(1)",
    };
    std::size_t from = 0;
    for (const std::string& step : milestones) {
        const long at = w.log.Find(step, from);
        ASSERT_GE(at, 0) << "missing or out of order: " << step;
        from = static_cast<std::size_t>(at) + 1;
    }
    EXPECT_EQ(Screen(w.view), "Label1 Label5 start:off exit:on");
    EXPECT_FALSE(w.host.HasFile("E:\\system\\init\\startup.ini"));
    EXPECT_TRUE(w.form.Completed());
}

TEST(UpdateRun, EmptyListStillShowsTheBarAtZeroAndCompletes) {
    World w;
    w.host.Erase("E:\\system\\init\\startup.ini");  // absent: no message
    w.PositionList("\r\n\\never.bin\r\n");
    w.host.SetRemovable(false);  // the data is written out all the same
    w.Run();
    EXPECT_TRUE(w.user.messages.empty());
    EXPECT_EQ(w.view.progress_values, std::vector<float>{0});
    EXPECT_LT(w.log.Find("Show ProgressBar1"), w.log.Find("Hide ProgressBar1"));
    EXPECT_EQ(Screen(w.view), "Label1 Label6 start:off exit:on");
    EXPECT_FALSE(w.log.Contains("FileExists E:\\never.bin"));
}

TEST(UpdateRun, OneRunPerStartAndExitEndsAtOnce) {
    World w;
    w.PositionList("");
    w.Run();
    const std::size_t logged = w.log.entries.size();
    w.form.DispatchCommand(0);  // a press that slipped past the disabled button
    w.form.DispatchCommand(7);  // no such button
    w.form.DispatchCommand(-1);
    EXPECT_EQ(w.log.entries.size(), logged);
    EXPECT_FALSE(w.view.Enabled(Control::kStartButton));
    EXPECT_THROW(w.form.DispatchCommand(1), platform::ProgramEnded);
    EXPECT_TRUE(w.user.ended);
}

TEST(UpdateRun, ExitInReadyChangesNothing) {
    World w;
    w.PositionList("\\a.bin");
    w.Detect();
    const std::string before = w.host.Snapshot();
    EXPECT_THROW(w.form.DispatchCommand(1), platform::ProgramEnded);
    EXPECT_EQ(w.host.Snapshot(), before);
    EXPECT_FALSE(w.log.Contains("ApplicationFolder"));
}

}  // namespace
}  // namespace velno::testing
