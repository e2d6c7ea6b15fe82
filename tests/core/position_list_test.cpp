#include <random>

#include "core/world.h"

namespace velno::testing {
namespace {

void StageThree(World& w) {
    for (const char* name : {"a", "b", "c"}) {
        w.Stage(std::string(name) + ".bin", std::string("new ") + name, 50);
    }
}

// Lines count up to the end or the first empty line; each entry pumps events
// once (and once between the chunks of each copy) before its bar value.
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
        StageThree(w);
        w.PositionList(text);
        w.host.chunks_per_copy = 3;
        std::vector<std::size_t> values_at_pump;
        w.user.on_pump = [&] { values_at_pump.push_back(w.view.progress_values.size()); };
        w.Run();
        EXPECT_EQ(w.log.Count("PumpEvents"), entries + 2 * w.log.Count("CopyFile")) << text;
        EXPECT_EQ(w.view.progress_values, bar) << text;
        // After the 0 shown with the bar, before the entry's own value.
        EXPECT_EQ(values_at_pump.empty() ? 1 : values_at_pump.front(), 1U) << text;
        EXPECT_EQ(w.host.HasFile("E:\\c.bin"), entries >= 3) << text;
        EXPECT_TRUE(w.form.Completed());
    }
}

// Lists made of separators, dots, names and drive-like parts: every path
// that reaches the host must lie, once resolved, on the instrument's drive
// or in the staging folder.
TEST(PositionList, GeneratedListsStayOnTheDriveOrInTheStagingFolder) {
    const std::vector<std::string> pieces = {"\\",  "/",    "..",   ".",      "a.bin", "B.BIN",
                                             "-",   " ",    "C:",   "E:",     ":",     "mtmp",
                                             "Upd", "\\\\", "..\\", "system", "*",     "\\\\?\\"};
    std::mt19937 random(20261206);
    std::uniform_int_distribution<std::size_t> piece(0, pieces.size() - 1);
    std::uniform_int_distribution<int> length(1, 9);
    for (int list = 0; list < 150; ++list) {
        World w;
        w.Stage("a.bin", "A", 50);
        w.Stage("B.BIN", "B", 50);
        w.host.AddFile("C:\\Upd\\a.bin", "beside the program", At(1));
        w.user.AnswerAlways(Answer::kOk);
        std::string text = "-..\\a.bin\r\n-/../Upd/a.bin\r\n";
        for (int line = 0; line < 20; ++line) {
            for (int k = length(random); k > 0; --k) {
                text += pieces[piece(random)];
            }
            text += "\r\n";
        }
        w.PositionList(text);
        w.Detect();
        const std::size_t from = w.host.requested.size();
        // A line may name a folder where a file stands (or the reverse): that
        // fails as a platform error, which is fine; where it leads is what
        // matters here.
        app::RunAtEventBoundary(w.user, [&] { w.form.DispatchCommand(0); });
        for (std::size_t i = from; i < w.host.requested.size(); ++i) {
            const std::string resolved = fake::Resolve(w.host.requested[i]);
            ASSERT_TRUE(resolved.starts_with("E:\\") || resolved.starts_with("C:\\Upd\\mtmp\\"))
                << resolved << "\nfrom the list:\n"
                << text;
        }
        EXPECT_EQ(w.Content("C:\\Upd\\a.bin"), "beside the program");
        EXPECT_TRUE(w.host.HasFile("C:\\Upd\\mtmp\\position.txt"));
    }
}

}  // namespace
}  // namespace velno::testing
