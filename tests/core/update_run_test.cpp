#include "core/world.h"
#include "update/package_check.h"

namespace velno::testing {
namespace {
using platform::kAttrHidden;
using platform::kAttrSystem;

// An update through every step. Only visible or read-only Veln4*.mem files in
// the root move into a backup folder created once; files named almost like
// them or like temporary copies, hidden or system, stay; the temporary copies
// an interrupted run left go. The list installs into new folders (every
// missing level, top down, trimmed as Windows trims names) and by time (the
// installed files are older than, as old as, newer than World's staged ones,
// or read-only), deletes, and names two staged files that are missing.
void Typical(World& w) {
    w.Add(
        "Veln4.mem=empty run of characters@100\nVeln4readonly.mem=r@1#1\nVeln4dir.mem/\n"
        "Veln5main.mem=stays@100\nVeln4main.memo=stays@100\nVeln4hidden.mem=stays@100#2\n"
        "Veln4system.mem=stays@100#4\nmtmp\\Veln4sub.mem=stays@100\ngone.bin=gone@1#1\n"
        "system\\xvelno-copy-1.tmp=stays@100\nfolder\\~velno-copy-1.tmp=stays@100\n"
        "system\\older.bin=old@49\nsystem\\same.bin=kept same@50\nkeep.bin=keep@1\n"
        "system\\later.bin=kept later@51\nsystem\\locked.bin=old locked@1#1\n"
        "system\\~velno-copy-0.tmp=left@1\nsystem\\.velno-copy-12-3.tmp=left@1\n"
        "deep\\~velno-copy-0.tmp=@1\n");  // a new folder's marker, a level above a destination
    w.PositionList(
        "\\system\\data\\a.bin\r\n\\system\\older.bin\r\n\\system\\same.bin\r\n"
        "\\system\\later.bin\r\n\\system\\locked.bin\r\n\\b.bin\r\n"
        "\\..\\deep\\x \\y\\..\\z.\\c.bin. \r\n\\system\\two\\a.bin\r\n"
        "\\system\\data\\deep\\missing.bin\r\n-\\..\\gone.bin\r\n-\\absent.bin\r\n-\r\n"
        "-\\folder\r\n -\\keep.bin\r\n\\dir\\");
    w.user.AnswerAlways(Answer::kOk);
}

// The steps in order, the window's state at each step where it can be seen
// (whenever events are pumped), and what the update leaves on the drive. At
// 10 ms a call, every pass gives the window a turn within 100 ms.
TEST(UpdateRun, ATypicalUpdateRunsEveryStepInOrder) {
    World w;
    Typical(w);
    w.host.drives.back().capacity = 170;  // the bound does not fit, the exact figure does
    w.user.tick = std::chrono::milliseconds(10);
    w.ExpectState(kReady);
    w.form.DetectInstrument();
    w.ExpectState(kReady);
    const long detected = static_cast<long>(w.log.entries.size());
    w.user.on_pump = [&] {
        w.ExpectState(w.view.visible.at(Control::kProgressBar1) ? kPositionList : kPreparing);
    };
    w.form.DispatchCommand(0);
    w.ExpectState(kCompleted);

    // Each step after the one before it.
    const std::string milestones =
        "Hide Label4|Show Label2|Show Label3|Disable Command1(0)|Disable Command1(1)|"
        "ApplicationFolder|FileExists C:\\Upd\\mtmp\\position.txt|FolderExists E:\\system|"
        "RemoveFile E:\\system\\.velno-copy-12-3.tmp|RemoveFile E:\\system\\~velno-copy-0.tmp|"
        "GetAttributes E:\\system|SetAttributes 0 E:\\system|"
        "FileExists E:\\system\\init\\startup.ini|RemoveFile E:\\system\\init\\startup.ini|"
        "FirstMatch E:\\Veln4*.mem|Value 0|Show ProgressBar1|"
        "OpenTextInput C:\\Upd\\mtmp\\position.txt|CreateFolder E:\\system\\data|"
        "CopyFile C:\\Upd\\mtmp\\a.bin E:\\system\\data\\a.bin|CreateFolder E:\\deep\\x|"
        "CreateFolder E:\\deep\\x\\z|SetAttributes 6 E:\\system|CloseAll|FlushDrive E:|"
        "PrepareForRemoval E:|PumpEvents|Hide Label2|Hide Label3|Hide ProgressBar1|"
        "Show Label1|Show Label5|Enable Command1(1)|";
    long at = -1;
    for (std::size_t from = 0, end; (end = milestones.find('|', from)) != std::string::npos;
         from = end + 1) {
        at = w.log.Find(milestones.substr(from, end - from), static_cast<std::size_t>(at + 1));
        ASSERT_GE(at, 0) << "missing or out of order: " << milestones.substr(from, end - from);
    }

    // Also: " -\keep.bin" (a blank first) installs into a folder " -", and
    // "system\data\deep" is made before the staged file is looked for.
    EXPECT_EQ(
        w.Drive(),
        " -/\nb.bin=new b@50\ndeep/\ndeep\\x/\ndeep\\x\\z/\ndeep\\x\\z\\c.bin=new c@50\nfolder/\n"
        "folder\\~velno-copy-1.tmp=stays@100\nkeep.bin=keep@1\nmtmp/\n"
        "mtmp\\Veln4sub.mem=stays@100\nsystem/#6\nsystem\\data/\nsystem\\data\\a.bin=new a@50\n"
        "system\\data\\deep/\nsystem\\init/\nsystem\\later.bin=kept later@51\n"
        "system\\locked.bin=new locked@50\nsystem\\older.bin=new older@50\nsystem\\OldRel/\n"
        "system\\OldRel\\Veln4.mem=empty run of characters@100\n"
        "system\\OldRel\\Veln4main.mem=main image@100\nsystem\\OldRel\\Veln4readonly.mem=r@1\n"
        "system\\OldRel\\Veln4user.mem=user image@100\nsystem\\same.bin=kept same@50\n"
        "system\\two/\nsystem\\two\\a.bin=new a@50\nsystem\\xvelno-copy-1.tmp=stays@100\n"
        "Veln4dir.mem/\nVeln4hidden.mem=stays@100#2\nVeln4main.memo=stays@100\n"
        "Veln4system.mem=stays@100#4\nVeln5main.mem=stays@100\n");
    // A replaced file is copied over, never deleted first: only the delete
    // entry and each image's backup, once copied, delete.
    EXPECT_EQ(w.log.Count("DeleteFile"), 5);
    EXPECT_EQ(w.user.messages,
              (std::vector<std::string>{"File missing.bin not found", "File keep.bin not found"}));
    EXPECT_TRUE(w.log.Contains("ShowMessage File missing.bin not found |OK|none"));
    EXPECT_EQ(w.log.Count("FileExists E:\\system\\older.bin"), 2);  // by the exact figure too
    long since = 0;
    for (auto call = w.log.entries.begin() + detected; call != w.log.entries.end(); ++call) {
        since = *call == "PumpEvents" ? 0 : since + 1;
        ASSERT_LT(since, 10) << *call;
    }
}

// Through the controller: Exit ends at once; a missing position file, then
// system folder, ends after one critical message with nothing changed (every
// call is logged). While a run lasts the window refuses to close; once
// complete, only Exit acts.
TEST(UpdateRun, OneRunPerStartAndTheWindowStaysOpenWhileItRuns) {
    struct Case {
        int press;
        const char* staged;  // the position file, in the staging folder
        bool system_folder;
        std::optional<std::string> calls;  // from the press on; none for a completed run
    };
    const std::string run =
        "Hide Label4|Show Label2|Show Label3|Disable Command1(0)|Disable Command1(1)|"
        "ApplicationFolder|FileExists C:\\Upd\\mtmp\\position.txt|";
    const std::string no_list = run + "ShowMessage Position file not found  |OK|critical|";
    const Case cases[] = {{1, "", true, ""},
                          {0, "", true, no_list},
                          {0, "position.txt/", true, no_list},
                          {0, "position.txt=\\a.bin@0", false,
                           run + "FolderExists E:\\system|"
                                 "ShowMessage System folder not found ! |OK|critical|"},
                          {0, "position.txt=\\a.bin@0", true, std::nullopt}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.calls.value_or("completed"));
        World w;
        w.Add(c.staged, "C:\\Upd\\mtmp");
        if (!c.system_folder) {
            w.host.Erase("E:\\system");
        }
        app::Controller controller(w.host, w.user, w.view);
        std::vector<bool> may_close;
        const auto mid_run = [&] {
            may_close.push_back(controller.CloseRequested());
            controller.Press(1);  // a press past the disabled button
        };
        w.user.on_pump = mid_run;
        w.user.Answer(Answer::kOk, [&] { w.ExpectState(kPreparing), mid_run(); });
        ASSERT_TRUE(controller.Start());
        const std::size_t started = w.log.entries.size();
        controller.Press(c.press);
        const bool completed = !c.calls, failed = c.press == 0 && !completed;
        // A message box, or the entry's pump and the removal's.
        EXPECT_EQ(may_close, std::vector<bool>(c.press == 0 ? 1 + completed : 0, false));
        if (completed) {
            const std::size_t logged = w.log.entries.size();
            for (const int index : {0, 7, -1}) {  // 0: a press past the disabled button
                controller.Press(index);
            }
            EXPECT_EQ(w.log.entries.size(), logged);
            EXPECT_FALSE(controller.Ended());
            EXPECT_TRUE(controller.CloseRequested());
            EXPECT_TRUE(w.user.messages.empty());
        } else {
            EXPECT_EQ(w.log.Text(started), *c.calls);
        }
        EXPECT_TRUE(controller.Ended());
        EXPECT_EQ(controller.ExitStatus(),
                  failed ? app::Controller::kFailure : app::Controller::kSuccess);
        EXPECT_EQ(w.view.closed && w.user.ended, !completed);
        EXPECT_FALSE(controller.Form().Running());
    }
}

// A newer saved image is replaced only on Yes. First the system folder loses
// any protecting bit (16 protects nothing); it ends hidden and system.
TEST(Backup, ANewerSavedImageIsReplacedOnlyWhenTheUserSaysYes) {
    struct Case {
        int saved_time;
        unsigned saved_attributes;
        std::optional<Answer> answer;
        bool replaced;
        unsigned system_folder;
        bool cleared;
    };
    const Case cases[] = {
        {99, 0, {}, true, platform::kAttrReadOnly, true},
        {100, platform::kAttrReadOnly, {}, true, 0, false},
        {200, platform::kAttrReadOnly, Answer::kYes, true, kAttrHidden | kAttrSystem, true},
        {200, 0, Answer::kNo, false, 16, false},
        {200, 0, Answer::kClosed, false, kAttrSystem, true}};
    const std::string question = "Software file is older than saved one , OverWrite saved ??";
    for (const Case& c : cases) {
        World w;
        w.PositionList("");
        w.host.AddFolder("E:\\system", c.system_folder);
        w.host.AddFile("E:\\system\\OldRel\\Veln4main.mem", "saved", At(c.saved_time),
                       c.saved_attributes);
        if (c.answer) {  // asked while the window says to wait
            w.user.Answer(*c.answer, [&] { w.ExpectState(kPreparing); });
        }
        SCOPED_TRACE(c.saved_time);
        EXPECT_TRUE(w.Run());
        EXPECT_EQ(w.log.Contains("ShowMessage " + question + " |YesNo|none"), c.answer.has_value());
        EXPECT_EQ(w.host.Find("E:\\system\\OldRel\\Veln4main.mem")->content,
                  c.replaced ? "main image" : "saved");
        const fake::Node* image = w.host.Find("E:\\Veln4main.mem");
        EXPECT_EQ(image ? image->content : "<absent>", c.replaced ? "<absent>" : "main image");
        EXPECT_EQ(w.log.Contains("SetAttributes 0 E:\\system"), c.cleared);
        EXPECT_EQ(w.host.Find("E:\\system")->attributes, kAttrHidden | kAttrSystem);
        if (c.cleared) {  // before anything else on the instrument changes
            EXPECT_LT(w.log.Find("SetAttributes 0"), w.log.Find("RemoveFile"));
        }
    }
}

// The copies must fit in whole clusters before anything changes; the
// message says what is needed and what is free, in tenths of a MB.
TEST(FreeSpace, CopiesMustFitInWholeClustersBeforeAnythingChanges) {
    constexpr std::size_t kCluster = 4096;
    struct Case {
        const char* what;
        const char* list;
        std::size_t capacity;  // clusters; the instrument starts with 6 taken
        const char* needs;     // the figures of the message; none: the run completes
        // How often the first target (a.bin or system\r.bin) is looked up: by the
        // check only when the staged files would not all fit as new files, then
        // by the run.
        long lookups;
    };
    const char* const kShort = "0.1 MB but only 0.0 MB";
    const Case cases[] = {
        {"fits exactly", "\\a.bin\r\n\\b.bin", 9, nullptr, 1},
        {"one cluster short", "\\a.bin\r\n\\b.bin", 8, kShort, 1},
        {"no usable figure: not checked", "\\a.bin\r\n\\b.bin", 0, nullptr, 1},
        {"a replaced file keeps its room while its copy is written", "\\system\\r.bin", 7, kShort,
         1},
        {"a replaced file and its copy fit", "\\system\\r.bin", 8, nullptr, 1},
        {"missing, repeated, up-to-date and unread lines take nothing",
         "\\missing.bin\r\n\\a.bin\r\n/A.BIN .\r\n\\system\\u.bin\r\n\r\n\\b.bin", 8, nullptr, 2},
        {"the image the backup moves away is no longer there to be up to date", "\\Veln4MAIN.mem.",
         7, kShort, 0},
        {"an image's copy into OldRel needs room while the image is still in the root", "", 6,
         kShort, 0},
        {"769 clusters needed, 320 free", "\\big.bin", 326, "3.1 MB but only 1.2 MB", 0}};
    for (const Case& c : cases) {
        World w;
        w.host.drives.back() = {.cluster_bytes = kCluster, .capacity = c.capacity * kCluster};
        w.host.AddFile("E:\\system\\r.bin", std::string(8000, 'o'), At(1));
        w.host.AddFile("E:\\system\\u.bin", "up to date", At(50));
        w.Stage("a.bin", std::string(5000, 'a'), 50);  // two clusters
        w.Stage("b.bin", "b", 50);
        w.Stage("r.bin", std::string(2 * kCluster, 'r'), 50);
        w.Stage("u.bin", "u", 50);
        w.Stage("Veln4MAIN.mem", std::string(5000, 'm'), 50);
        w.Stage("big.bin", std::string(3 * 1024 * 1024 + 1, 'g'), 50);
        w.PositionList(c.list);
        w.user.AnswerAlways(Answer::kOk);
        const std::string before = w.Drive();

        const bool completes = c.needs == nullptr;
        EXPECT_EQ(w.Run(), completes) << c.what;
        // The check reads the list once, and a run twice (leftovers, entries).
        EXPECT_EQ(w.log.Count("OpenTextInput"), int{c.capacity > 0} + 2 * int{completes}) << c.what;
        EXPECT_EQ(w.log.Count("FileExists E:\\a.bin") + w.log.Count("FileExists E:\\system\\r.bin"),
                  c.lookups)
            << c.what;
        if (!completes) {
            EXPECT_EQ(w.log.entries.back(),
                      "ShowMessage There is not enough space on the instrument for this update."
                      "\n\nIt needs " +
                          std::string(c.needs) + " are free.\n\nNothing was changed. |OK|critical");
            EXPECT_EQ(w.Drive(), before) << c.what;
        }
    }
}

// Each entry pumps events once (and between a copy's chunks) before its bar
// value, once more at removal; an empty list still shows the bar at 0. The
// drive refuses removal (still completes), with one entry the flush too.
TEST(PositionList, CountsLinesUpToTheEndOrTheFirstEmptyLine) {
    const std::tuple<const char*, long, std::vector<float>> cases[] = {
        {"\\a.bin\r\n\\b.bin\r\n\\c.bin", 3, {0, 0, 33, 66}},
        {"\\a.bin\n\\b.bin\n\\c.bin\n", 3, {0, 0, 33, 66}},
        {"\\a.bin\r\n\\b.bin\r\n\\c.bin\r\n\r\n", 4, {0, 0, 25, 50, 75}},
        {"\\a.bin\r\n\r\n\\c.bin\r\n", 2, {0, 0, 50}},
        {"\r\n\\a.bin\r\n\\b.bin", 0, {0}},
        {"", 0, {0}},
        {"\xEF\xBB\xBF\\a.bin", 1, {0, 0}}};
    for (const auto& [text, entries, bar] : cases) {
        World w;
        w.PositionList(text);
        w.host.chunks_per_copy = 3;
        w.host.removable = entries > 1;
        w.host.flushes = entries != 1;
        w.host.Erase("E:\\Veln4main.mem");  // no backup copies pump before the bar
        w.host.Erase("E:\\Veln4user.mem");
        std::vector<std::size_t> values_at_pump;
        w.user.on_pump = [&] { values_at_pump.push_back(w.view.progress_values.size()); };
        EXPECT_TRUE(w.Run()) << text;
        EXPECT_EQ(w.log.Count("PumpEvents"), entries + 1 + 2 * w.log.Count("CopyFile")) << text;
        EXPECT_EQ(w.view.progress_values, bar) << text;
        // After the 0 shown with the bar, before the entry's own value.
        EXPECT_EQ(values_at_pump.empty() ? 1 : values_at_pump.front(), 1U) << text;
        EXPECT_EQ(w.host.HasFile("E:\\c.bin"), entries >= 3) << text;
        EXPECT_EQ(w.log.Contains("FileExists E:\\a.bin"), entries > 0) << text;
        // The room check reads the list from its start once; the pass again
        // only when there is an entry.
        EXPECT_EQ(w.log.Count("Rewind"), 1 + int{entries > 0}) << text;
        w.ExpectState(entries > 1    ? kCompleted
                      : entries == 0 ? kCompletedStillMounted
                                     : kCompletedUnflushed);
    }
}

using update::LineEnds;

// Each entry's target and flags, the groups naming one staged file, the
// unread lines and the bytes to copy, as one comparable text.
std::string Summary(const update::PackageCheck& check) {
    std::string text;
    for (const update::CheckedEntry& e : check.entries) {
        text += e.target + (e.clamped ? " clamped" : "") + (e.trailing_blanks ? " blanks" : "") +
                (e.missing ? " missing" : "") + "; ";
    }
    for (const std::vector<long>& lines : check.same_staged_file) {
        text +=
            std::accumulate(lines.begin(), lines.end(), std::string("same"),
                            [](auto all, long line) { return all + " " + std::to_string(line); }) +
            "; ";
    }
    return text + "unread " + std::to_string(check.unread_lines) + ", " +
           std::to_string(check.total_bytes) + " bytes";
}

// Each package stages a.bin, b.bin and c.bin (5 bytes each); no text: the
// package has no position list.
TEST(PackageCheck, ReportsWhatTheListWouldDo) {
    struct Case {
        const char* text;
        LineEnds ends;
        std::string summary;
    };
    const Case cases[] = {
        {"\\system\\a.bin\r\n-\\system\\old.bin\r\n\\b.bin\r\n", LineEnds::kCrLf,
         "\\system\\a.bin; \\system\\old.bin; \\b.bin; unread 0, 10 bytes"},
        {"\\x\\a.bin\n\\..\\..\\c.bin\n\\y\\A.BIN\n\\z.bin\n-\\..\\old\n\n\\never.bin\n\\more.bin",
         LineEnds::kLf,
         "\\x\\a.bin; \\c.bin clamped; \\y\\A.BIN; \\z.bin missing; \\old clamped; ; same 1 3; "
         "unread 2, 15 bytes"},
        {"\\data \\a.bin\r\\data.\\b.bin\r\n\\sys\\\r", LineEnds::kMixed,
         "\\data\\a.bin blanks; \\data\\b.bin blanks; ; unread 0, 10 bytes"},
        // Names that resolve to nothing, and the root: nothing, as in the run.
        {"\\x\\...\r\n \r\n. \r\n-\r\n-\\..\r\n\\a.bin", LineEnds::kCrLf,
         "; ; ; ; ; \\a.bin; unread 0, 5 bytes"},
        {"\r\n\\a.bin\r\n\\b.bin", LineEnds::kCrLf, "unread 2, 0 bytes"},
        {nullptr, LineEnds::kNone, "unread 0, 0 bytes"}};
    for (const Case& c : cases) {
        World w;
        if (c.text != nullptr) {
            w.PositionList(c.text);
        }
        const auto fs = w.host.CreateFileSystemObject("Scripting.FileSystemObject");
        const auto size_of = [&w](const std::string& path) {
            return w.host.Find(path)->content.size();
        };
        const update::PackageCheck check = update::CheckPackage(
            w.host, *fs, "C:\\Upd\\mtmp\\", size_of, c.text == nullptr ? "" : c.text);
        EXPECT_EQ(Summary(check), c.summary);
        EXPECT_EQ(check.line_ends, c.ends) << c.summary;
        EXPECT_EQ(check.NotFound(),
                  c.text == nullptr || c.summary.find("missing") != std::string::npos)
            << c.summary;
        EXPECT_FALSE(w.log.Contains("CopyFile") || w.log.Contains("CreateFolder") ||
                     w.log.Contains("DeleteFile"));
    }
    EXPECT_EQ(update::LineEndsOf(std::string_view("\xFF\xFE\\\0\r\0\n\0\n\r", 10)),
              LineEnds::kCrLf);
}

}  // namespace
}  // namespace velno::testing
