#include "core/world.h"

namespace velno::testing {
namespace {

using platform::kAttrHidden;
using platform::kAttrSystem;

// Files named almost like memory images, or hidden or system ones: they stay.
const std::pair<const char*, unsigned> kStaying[] = {{"E:\\Veln5main.mem", 0},
                                                     {"E:\\Veln4main.memo", 0},
                                                     {"E:\\mtmp\\Veln4sub.mem", 0},
                                                     {"E:\\Veln4hidden.mem", kAttrHidden},
                                                     {"E:\\Veln4system.mem", kAttrSystem}};
// Installed files a list entry replaces when they are older than the staged
// ones (time 50), read-only or not.
const std::tuple<const char*, const char*, int, unsigned, const char*> kInstalled[] = {
    {"older", "old", 49, 0, "new older"},
    {"same", "kept same", 50, 0, "kept same"},
    {"later", "kept later", 51, 0, "kept later"},
    {"locked", "old locked", 1, platform::kAttrReadOnly, "new locked"}};

// A position file that is missing or a folder, or a missing system folder,
// ends the program before anything on the instrument changes.
TEST(UpdateRun, AMissingPreconditionEndsTheProgramWithTheInstrumentUnchanged) {
    struct Case {
        bool position_list, folder_as_list;
        std::string message;
    };
    for (const Case& c : {Case{false, false, std::string(update::kPositionFileNotFound)},
                          Case{false, true, std::string(update::kPositionFileNotFound)},
                          Case{true, false, std::string(update::kSystemFolderNotFound)}}) {
        World w;
        if (c.folder_as_list) {
            w.host.AddFolder("C:\\Upd\\mtmp\\position.txt");
        }
        if (c.position_list) {
            w.PositionList("\\a.bin\r\n");
            w.host.Erase("E:\\system");
        }
        w.Detect();
        const auto before = w.host.nodes;
        w.user.Answer(Answer::kOk);
        EXPECT_THROW(w.form.DispatchCommand(0), platform::ProgramEnded);
        EXPECT_EQ(w.user.messages, std::vector<std::string>{c.message});
        EXPECT_TRUE(w.log.Contains("ShowMessage " + c.message + " |OK|critical"));
        EXPECT_TRUE(w.host.nodes == before) << c.message;
        EXPECT_FALSE(w.log.Contains("GetAttributes") || w.log.Contains("FirstMatch"));
        EXPECT_EQ(w.log.Contains("FolderExists E:\\system"), c.position_list);  // list first
        w.ExpectState(kPreparing);
        EXPECT_FALSE(w.form.Running());
    }
}

TEST(UpdateRun, SystemFolderAttributesAreClearedThenSetToHiddenSystem) {
    const std::pair<unsigned, bool> cases[] = {{platform::kAttrReadOnly, true},
                                               {0, false},
                                               {kAttrHidden | kAttrSystem, true},
                                               {16, false}};
    for (const auto& [before, cleared] : cases) {
        World w;
        w.PositionList("");
        w.host.AddFolder("E:\\system", before);
        w.Run();
        EXPECT_EQ(w.log.Contains("SetAttributes 0 E:\\system"), cleared) << before;
        EXPECT_EQ(w.Attributes("E:\\system"), kAttrHidden | kAttrSystem) << before;
        if (cleared) {  // before anything else on the instrument changes
            EXPECT_LT(w.log.Find("SetAttributes 0"), w.log.Find("RemoveFile"));
        }
    }
}

// An update through every step. Only visible or read-only Veln4*.mem files
// in the root move into a backup folder created once. The list installs into
// new folders (every missing level, top down, trimmed as Windows trims
// names) and by time, deletes, and names two staged files that are missing.
void Typical(World& w) {
    w.host.AddFile("E:\\Veln4.mem", "empty run of characters", At(100));
    w.host.AddFile("E:\\Veln4readonly.mem", "r", At(1), platform::kAttrReadOnly);
    for (const auto& [path, attributes] : kStaying) {
        w.host.AddFile(path, "stays", At(100), attributes);
    }
    w.host.AddFolder("E:\\Veln4dir.mem");
    for (const char* name : {"a", "b", "c"}) {
        w.Stage(std::string(name) + ".bin", std::string("new ") + name, 50);
    }
    for (const auto& [name, content, time, attributes, after] : kInstalled) {
        w.host.AddFile(std::string("E:\\system\\") + name + ".bin", content, At(time), attributes);
        w.Stage(std::string(name) + ".bin", std::string("new ") + name, 50);
    }
    w.host.AddFile("E:\\gone.bin", "gone", At(1), platform::kAttrReadOnly);
    w.host.AddFile("E:\\keep.bin", "keep", At(1));
    w.host.AddFolder("E:\\folder");
    w.PositionList(
        "\\system\\data\\a.bin\r\n\\system\\older.bin\r\n\\system\\same.bin\r\n"
        "\\system\\later.bin\r\n\\system\\locked.bin\r\n\\b.bin\r\n"
        "\\..\\deep\\x \\y\\..\\z.\\c.bin. \r\n\\system\\two\\a.bin\r\n"
        "\\system\\data\\deep\\missing.bin\r\n-\\..\\gone.bin\r\n-\\absent.bin\r\n-\r\n"
        "-\\folder\r\n -\\keep.bin\r\n\\dir\\");
    w.user.AnswerAlways(Answer::kOk);
}

// The steps in order, the window's state at each step where it can be seen
// (whenever events are pumped), and what the update leaves on the drive.
TEST(UpdateRun, ATypicalUpdateRunsEveryStepInOrder) {
    World w;
    Typical(w);
    w.ExpectState(kReady);
    w.Detect();
    w.ExpectState(kReady);
    w.user.on_pump = [&] { w.ExpectState(kPositionList); };
    w.form.DispatchCommand(0);
    w.ExpectState(kCompleted);
    EXPECT_TRUE(w.form.Completed());

    // Each step after the one before it.
    const std::string milestones =
        "Hide Label4|Show Label2|Show Label3|Disable Command1(0)|Disable Command1(1)|"
        "ApplicationFolder|FileExists C:\\Upd\\mtmp\\position.txt|FolderExists E:\\system|"
        "GetAttributes E:\\system|SetAttributes 0 E:\\system|"
        "FileExists E:\\system\\init\\startup.ini|RemoveFile E:\\system\\init\\startup.ini|"
        "FirstMatch E:\\Veln4*.mem|Value 0|Show ProgressBar1|"
        "OpenTextInput C:\\Upd\\mtmp\\position.txt|CreateFolder E:\\system\\data|"
        "CopyFile C:\\Upd\\mtmp\\a.bin E:\\system\\data\\a.bin|CreateFolder E:\\deep|"
        "CreateFolder E:\\deep\\x\\z|SetAttributes 6 E:\\system|CloseAll|FlushDrive E:|"
        "PrepareForRemoval E:|Hide Label2|Hide Label3|Hide ProgressBar1|Show Label1|Show Label5|"
        "Enable Command1(1)|";
    long at = -1;
    for (std::size_t from = 0, end; (end = milestones.find('|', from)) != std::string::npos;
         from = end + 1) {
        at = w.log.Find(milestones.substr(from, end - from), static_cast<std::size_t>(at + 1));
        ASSERT_GE(at, 0) << "missing or out of order: " << milestones.substr(from, end - from);
    }

    EXPECT_FALSE(w.host.HasFile("E:\\system\\init\\startup.ini"));
    EXPECT_EQ(w.log.Count("CreateFolder E:\\system\\OldRel"), 1);
    for (const auto& [name, content] : {std::pair{"Veln4main.mem", "main image"},
                                        {"Veln4user.mem", "user image"},
                                        {"Veln4.mem", "empty run of characters"},
                                        {"Veln4readonly.mem", "r"}}) {
        EXPECT_EQ(w.Content(std::string("E:\\system\\OldRel\\") + name), content);
        EXPECT_FALSE(w.host.Find(std::string("E:\\") + name)) << name;
    }
    for (const auto& file : kStaying) {
        EXPECT_EQ(w.Content(file.first), "stays");
    }
    EXPECT_TRUE(w.host.HasFolder("E:\\Veln4dir.mem"));

    EXPECT_EQ(w.Content("E:\\deep\\x\\z\\c.bin"), "new c");
    EXPECT_FALSE(w.host.HasFolder("E:\\deep\\x\\y"));
    for (const char* a : {"E:\\system\\data\\a.bin", "E:\\system\\two\\a.bin"}) {
        EXPECT_EQ(w.Content(a), "new a");
        EXPECT_EQ(w.host.Find(a)->modified, At(50));
        EXPECT_FALSE(w.log.Contains(std::string("FileModifiedTime ") + a));  // no time to compare
    }
    EXPECT_EQ(w.Content("E:\\b.bin"), "new b");
    for (const auto& installed : kInstalled) {
        EXPECT_EQ(w.Content(std::string("E:\\system\\") + std::get<0>(installed) + ".bin"),
                  std::get<4>(installed));
    }
    // Replaced in one copy, never deleted first; only the delete entry deletes.
    EXPECT_EQ(w.log.Count("DeleteFile"), 1);
    EXPECT_FALSE(w.host.HasFile("E:\\gone.bin"));  // climbing stops at the root
    EXPECT_TRUE(w.host.HasFolder("E:\\folder"));
    EXPECT_TRUE(w.log.Contains("FileExists E:\\absent.bin"));
    EXPECT_TRUE(w.log.Contains("FileExists E:"));
    EXPECT_TRUE(w.host.HasFolder("E:\\system\\data\\deep"));  // created before the look-up
    // " -\keep.bin" starts with a blank: an install entry, not a delete.
    EXPECT_EQ(w.Content("E:\\keep.bin"), "keep");
    EXPECT_EQ(w.user.messages, (std::vector<std::string>{update::MissingFileMessage("missing.bin"),
                                                         update::MissingFileMessage("keep.bin")}));
    EXPECT_TRUE(w.log.Contains("ShowMessage File missing.bin not found |OK|none"));
    EXPECT_FALSE(w.log.Contains("CreateFolder E:\\dir"));
}

// A blank first line ends the list at once; a drive that cannot be
// prepared for removal still gets its data written out. Without start-up
// settings or images nothing is asked or created.
TEST(UpdateRun, EmptyListStillShowsTheBarAtZeroAndCompletes) {
    World w;
    for (const char* absent :
         {"E:\\system\\init\\startup.ini", "E:\\Veln4main.mem", "E:\\Veln4user.mem"}) {
        w.host.Erase(absent);
    }
    w.PositionList("\r\n\\never.bin\r\n");
    w.host.removable = false;
    w.Run();
    EXPECT_TRUE(w.user.messages.empty());
    EXPECT_EQ(w.view.progress_values, std::vector<float>{0});
    EXPECT_LT(w.log.Find("Show ProgressBar1"), w.log.Find("Hide ProgressBar1"));
    EXPECT_FALSE(w.log.Contains("FileExists E:\\never.bin") || w.log.Contains("CreateFolder"));
    w.ExpectState(kCompletedStillMounted);
}

// Through the controller: Exit in the ready window ends the program at once;
// the window refuses to close while the run pumps events, and once the run is
// complete only Exit or closing does anything.
TEST(UpdateRun, OneRunPerStartAndTheWindowStaysOpenWhileItRuns) {
    for (const bool exit_at_once : {true, false}) {
        World w;
        w.PositionList("\\a.bin");
        w.Stage("a.bin", "new a", 50);
        app::Controller controller(w.host, w.user, w.view);
        std::vector<bool> may_close;
        w.user.on_pump = [&] { may_close.push_back(controller.CloseRequested()); };
        ASSERT_TRUE(controller.Start());
        const auto before = w.host.nodes;
        if (exit_at_once) {
            controller.Press(1);
            EXPECT_TRUE(w.host.nodes == before);
            EXPECT_FALSE(w.log.Contains("ApplicationFolder"));
        } else {
            controller.Press(0);
            EXPECT_EQ(may_close, std::vector<bool>{false});  // one entry, one pump
            const std::size_t logged = w.log.entries.size();
            for (const int index : {0, 7, -1}) {  // 0: a press past the disabled button
                controller.Press(index);
            }
            EXPECT_EQ(w.log.entries.size(), logged);
            EXPECT_FALSE(controller.Ended());
            EXPECT_TRUE(controller.CloseRequested());
        }
        EXPECT_TRUE(controller.Ended());
        EXPECT_EQ(controller.ExitStatus(), app::Controller::kSuccess);
        EXPECT_EQ(w.view.closed && w.user.ended, exit_at_once);
    }
}

// Every operation of an update through every step, made to fail in turn:
// the run stops there, never reaches its completed state, and the report
// names the operation, its paths and the system's message.
TEST(UpdateRun, EveryFailingOperationStopsTheRunThere) {
    World complete;
    Typical(complete);
    ASSERT_TRUE(complete.RunToBoundary());
    ASSERT_GT(complete.host.operations, 40);

    for (long n = 1; n <= complete.host.operations; ++n) {
        World w;
        Typical(w);
        w.host.fail_at = n;
        EXPECT_FALSE(w.RunToBoundary()) << n;
        // The failing operation is the last thing the host saw before the report.
        const std::string& report = w.user.messages.back();
        const std::string failed = w.log.entries.at(w.log.entries.size() - 2);
        for (std::size_t at = 0, end = 0; end != std::string::npos; at = end + 1) {
            end = failed.find(' ', at);
            EXPECT_NE(report.find(failed.substr(at, end - at)), std::string::npos)
                << n << ": " << report;
        }
        EXPECT_NE(report.find("\n\nInjected failure.\n"), std::string::npos) << n << report;
        EXPECT_TRUE(w.log.entries.back().ends_with("|OK|critical")) << n;
        EXPECT_FALSE(w.view.Visible(Control::kLabel1)) << n;
        EXPECT_FALSE(w.form.Completed() || w.form.Running()) << n;
        // An installed file is replaced in one step, never lost.
        EXPECT_NE(w.Content("E:\\system\\older.bin"), "<absent>") << n;
    }
}

}  // namespace
}  // namespace velno::testing
