#include "core/world.h"

namespace velno::testing {
namespace {

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
        for (const char* name : {"a.bin", "b.bin", "c.bin"}) {
            w.Stage(name, "new", 50);
        }
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

}  // namespace
}  // namespace velno::testing
