#include <random>

#include "core/world.h"

namespace velno::testing {
namespace {

bool Inside(const std::string& resolved) {
    return resolved.starts_with("E:\\") || resolved.starts_with("C:\\Upd\\mtmp\\");
}

TEST(Confinement, DeleteEntriesNeverClimbAboveTheDrive) {
    World w;
    w.host.AddFile("E:\\home\\x", "on the instrument", At(1));
    w.host.AddFile("C:\\home\\x", "on the computer", At(1));
    w.host.AddFile("C:\\Upd\\x", "beside the program", At(1));
    w.PositionList("-\\..\\..\\home\\x\r\n-..\\x\r\n-/../Upd/x\r\n\\a\\..\r\n\\.\r\n");
    w.Run();
    EXPECT_FALSE(w.host.HasFile("E:\\home\\x"));
    EXPECT_TRUE(w.host.HasFile("C:\\home\\x"));
    EXPECT_TRUE(w.host.HasFile("C:\\Upd\\x"));
    EXPECT_TRUE(w.user.messages.empty());
}

// Lists made of separators, dots, names and drive-like parts: every path
// that reaches the host must lie, once resolved, on the instrument's drive
// or in the staging folder.
TEST(Confinement, GeneratedListsStayOnTheDriveOrInTheStagingFolder) {
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
        std::string text;
        for (int line = 0; line < 20; ++line) {
            for (int k = length(random); k > 0; --k) {
                text += pieces[piece(random)];
            }
            text += "\r\n";
        }
        w.PositionList(text);
        w.Detect();
        const std::size_t from = w.host.ResolvedPaths().size();
        // A line may name a folder where a file stands (or the reverse): that
        // fails as a platform error, which is fine; where it leads is what
        // matters here.
        app::RunAtEventBoundary(w.user, [&] { w.form.DispatchCommand(0); });
        const auto& paths = w.host.ResolvedPaths();
        for (std::size_t i = from; i < paths.size(); ++i) {
            ASSERT_TRUE(Inside(paths[i])) << paths[i] << "\nfrom the list:\n" << text;
        }
        EXPECT_EQ(w.Content("C:\\Upd\\a.bin"), "beside the program");
        EXPECT_TRUE(w.host.HasFile("C:\\Upd\\mtmp\\position.txt"));
    }
}

}  // namespace
}  // namespace velno::testing
