#include "core/world.h"

namespace velno::testing {
namespace {

void StageThree(World& w) {
    for (const char* name : {"a", "b", "c"}) {
        w.Stage(std::string(name) + ".bin", std::string("new ") + name, 50);
    }
}

struct PositionList : ::testing::Test {
    World w;
    PositionList() { StageThree(w); }
};

TEST_F(PositionList, CountsLinesUpToTheEndOrTheFirstEmptyLine) {
    struct Case {
        const char* text;
        long entries;
        std::vector<float> bar;
    };
    const Case cases[] = {
        {"\\a.bin\r\n\\b.bin\r\n\\c.bin", 3, {0, 33, 66}},
        {"\\a.bin\r\n\\b.bin\r\n\\c.bin\r\n", 3, {0, 33, 66}},
        {"\\a.bin\n\\b.bin\n\\c.bin\n", 3, {0, 33, 66}},
        {"\\a.bin\r\\b.bin\r\\c.bin\r", 3, {0, 33, 66}},
        {"\\a.bin\r\n\\b.bin\r\n\\c.bin\r\n\r\n", 4, {0, 25, 50, 75}},
        {"\\a.bin\r\n\r\n\\c.bin\r\n", 2, {0, 50}},
        {"\r\n\\a.bin\r\n\\b.bin", 0, {}},
        {"", 0, {}},
        {"\xEF\xBB\xBF\\a.bin", 1, {0}},
    };
    for (const Case& c : cases) {
        World world;
        StageThree(world);
        world.PositionList(c.text);
        world.Run();
        EXPECT_EQ(world.log.Count("PumpEvents"), c.entries) << c.text;
        std::vector<float> bar(world.view.progress_values.begin() + 1,
                               world.view.progress_values.end());
        EXPECT_EQ(bar, c.bar) << c.text;
        EXPECT_EQ(world.host.HasFile("E:\\c.bin"), c.entries >= 3) << c.text;
        EXPECT_TRUE(world.form.Completed());
    }
}

TEST_F(PositionList, InstallsIntoNewFoldersAndByTime) {
    w.host.AddFile("E:\\system\\older.bin", "old", At(49));
    w.host.AddFile("E:\\system\\same.bin", "kept same", At(50));
    w.host.AddFile("E:\\system\\later.bin", "kept later", At(51));
    w.host.AddFile("E:\\system\\locked.bin", "old locked", At(1), platform::kAttrReadOnly);
    w.host.AddFile("C:\\Upd\\mtmp\\older.bin", "newer", At(50));
    w.host.AddFile("C:\\Upd\\mtmp\\same.bin", "same", At(50));
    w.host.AddFile("C:\\Upd\\mtmp\\later.bin", "earlier", At(50));
    w.host.AddFile("C:\\Upd\\mtmp\\locked.bin", "new locked", At(50));
    w.PositionList(
        "\\system\\data\\a.bin\r\n\\system\\older.bin\r\n\\system\\same.bin\r\n"
        "\\system\\later.bin\r\n\\system\\locked.bin\r\n\\b.bin\r\n"
        "\\..\\deep\\x \\y\\..\\z.\\c.bin. \r\n");
    w.Run();

    EXPECT_TRUE(w.log.Contains("CreateFolder E:\\system\\data"));
    // Every missing level, top down, with Windows' trimming of each name.
    EXPECT_LT(w.log.Find("CreateFolder E:\\deep"), w.log.Find("CreateFolder E:\\deep\\x\\z"));
    EXPECT_EQ(w.Content("E:\\deep\\x\\z\\c.bin"), "new c");
    EXPECT_FALSE(w.host.HasFolder("E:\\deep\\x\\y"));
    // Older installed files are replaced by the copy, never deleted first.
    EXPECT_FALSE(w.log.Contains("DeleteFile"));
    EXPECT_EQ(w.Content("E:\\system\\data\\a.bin"), "new a");
    EXPECT_EQ(w.host.Find("E:\\system\\data\\a.bin")->modified, At(50));
    EXPECT_EQ(w.Content("E:\\system\\older.bin"), "newer");
    EXPECT_EQ(w.Content("E:\\system\\same.bin"), "kept same");
    EXPECT_EQ(w.Content("E:\\system\\later.bin"), "kept later");
    EXPECT_EQ(w.Content("E:\\system\\locked.bin"), "new locked");
    EXPECT_EQ(w.Content("E:\\b.bin"), "new b");
    // A target that does not exist is copied without comparing times.
    EXPECT_FALSE(w.log.Contains("FileModifiedTime E:\\b.bin"));
    EXPECT_FALSE(w.log.Contains("FileModifiedTime E:\\system\\data\\a.bin"));
    EXPECT_TRUE(w.user.messages.empty());
}

TEST_F(PositionList, MissingStagedFileIsNamedAndTheRunGoesOn) {
    w.PositionList("\\system\\data\\deep\\missing.bin\r\n\\b.bin");
    w.user.Answer(Answer::kOk);
    w.Run();
    EXPECT_EQ(w.user.messages, std::vector<std::string>{update::MissingFileMessage("missing.bin")});
    EXPECT_TRUE(w.log.Contains("ShowMessage File missing.bin not found |OK|none"));
    EXPECT_TRUE(w.host.HasFolder("E:\\system\\data\\deep"));  // created before the look-up
    EXPECT_EQ(w.Content("E:\\b.bin"), "new b");
    EXPECT_TRUE(w.form.Completed());
}

TEST_F(PositionList, EntriesSharingAFileNameGetTheSameStagedFile) {
    w.PositionList("\\system\\one\\a.bin\r\n\\system\\two\\a.bin");
    w.host.AddFolder("E:\\system\\one");
    w.host.AddFolder("E:\\system\\two");
    w.Run();
    EXPECT_EQ(w.Content("E:\\system\\one\\a.bin"), "new a");
    EXPECT_EQ(w.Content("E:\\system\\two\\a.bin"), "new a");
}

TEST_F(PositionList, DeleteEntriesAndTheirLookalikes) {
    w.host.AddFile("E:\\system\\old.bin", "old", At(1), platform::kAttrReadOnly);
    w.host.AddFile("E:\\keep.bin", "keep", At(1));
    w.host.AddFolder("E:\\folder");
    w.PositionList(
        "-\\system\\old.bin\r\n-\\absent.bin\r\n-\r\n-\\folder\r\n -\\keep.bin\r\n\\dir\\");
    w.user.Answer(Answer::kOk);
    w.Run();
    EXPECT_FALSE(w.host.HasFile("E:\\system\\old.bin"));
    EXPECT_TRUE(w.host.HasFolder("E:\\folder"));
    EXPECT_TRUE(w.host.HasFile("E:\\keep.bin"));
    EXPECT_TRUE(w.log.Contains("FileExists E:\\absent.bin"));
    EXPECT_TRUE(w.log.Contains("FileExists E:"));
    // " -\keep.bin" starts with a blank: an install entry, not a delete.
    EXPECT_EQ(w.user.messages, std::vector<std::string>{update::MissingFileMessage("keep.bin")});
    EXPECT_FALSE(w.log.Contains("CreateFolder E:\\dir"));
}

TEST_F(PositionList, EventsArePumpedOncePerEntryAndBetweenCopyChunks) {
    w.host.SetChunksPerCopy(4);
    w.PositionList("\\a.bin\r\n\\b.bin");
    long pumps_before_value = 0;
    w.user.OnPump([&] { pumps_before_value = static_cast<long>(w.view.progress_values.size()); });
    w.Run();
    EXPECT_EQ(w.log.Count("PumpEvents"), 2 + 2 * 3);
    // The pump of each entry comes before its progress value.
    const long first_pump = w.log.Find("PumpEvents");
    EXPECT_LT(first_pump,
              w.log.Find("Value 0", static_cast<std::size_t>(w.log.Find("Show ProgressBar1"))));
    EXPECT_GT(pumps_before_value, 0);
}

}  // namespace
}  // namespace velno::testing
