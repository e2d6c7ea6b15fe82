#include "core/world.h"

namespace velno::testing {
namespace {

// The copies must fit in whole clusters before anything changes; the
// message says what is needed and what is free.
TEST(FreeSpace, CopiesMustFitInWholeClustersBeforeAnythingChanges) {
    constexpr std::size_t kCluster = 4096;
    struct Case {
        const char* what;
        const char* list;
        std::size_t capacity;  // clusters; the instrument starts with 6 taken
        bool reports_space, completes;
    };
    const Case cases[] = {
        {"fits exactly", "\\a.bin\r\n\\b.bin", 9, true, true},
        {"one cluster short", "\\a.bin\r\n\\b.bin", 8, true, false},
        {"no usable figure: not checked", "\\a.bin\r\n\\b.bin", 8, false, true},
        {"a replaced file keeps its room while its copy is written", "\\system\\r.bin", 7, true,
         false},
        {"a replaced file and its copy fit", "\\system\\r.bin", 8, true, true},
        {"missing, repeated, up-to-date and unread lines take nothing",
         "\\missing.bin\r\n\\a.bin\r\n/A.BIN .\r\n\\system\\u.bin\r\n\r\n\\b.bin", 8, true, true}};
    for (const Case& c : cases) {
        World w;
        w.host.drives.back() = {.cluster_bytes = kCluster,
                                .reports_space = c.reports_space,
                                .capacity = c.capacity * kCluster};
        w.host.AddFile("E:\\system\\r.bin", std::string(8000, 'o'), At(1));
        w.host.AddFile("E:\\system\\u.bin", "up to date", At(50));
        w.Stage("a.bin", std::string(5000, 'a'), 50);  // two clusters
        w.Stage("b.bin", "b", 50);
        w.Stage("r.bin", std::string(2 * kCluster, 'r'), 50);
        w.Stage("u.bin", "u", 50);
        w.PositionList(c.list);
        w.user.AnswerAlways(Answer::kOk);

        EXPECT_EQ(w.RunToBoundary(), c.completes) << c.what;
        // The check reads the list once before the run does.
        EXPECT_EQ(w.log.Count("OpenTextInput"), int{c.reports_space} + int{c.completes}) << c.what;
        if (!c.completes) {
            EXPECT_TRUE(w.user.messages.back().ends_with("Nothing was changed.")) << c.what;
            EXPECT_EQ(w.Attributes("E:\\system"), platform::kAttrHidden | platform::kAttrSystem);
            EXPECT_TRUE(w.host.HasFile("E:\\system\\init\\startup.ini")) << c.what;
            EXPECT_TRUE(w.host.HasFile("E:\\Veln4main.mem")) << c.what;
        }
    }

    World w;
    w.host.drives.back().capacity = 30 + 1280 * 1024;  // 1.25 MiB free beside the 30 bytes there
    w.Stage("a.bin", std::string(3 * 1024 * 1024 + 1, 'a'), 50);
    w.PositionList("\\a.bin");
    w.user.AnswerAlways(Answer::kOk);
    EXPECT_FALSE(w.RunToBoundary());
    EXPECT_EQ(w.user.messages, std::vector<std::string>{
                                   "There is not enough space on the instrument for this update."
                                   "\n\nIt needs 3.1 MB but only 1.2 MB are free.\n\nNothing was "
                                   "changed."});
    EXPECT_TRUE(w.log.entries[w.log.entries.size() - 2].ends_with("|OK|critical"));
}

}  // namespace
}  // namespace velno::testing
