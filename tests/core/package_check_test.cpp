#include "update/package_check.h"
#include "core/world.h"

namespace velno::testing {
namespace {

using update::LineEnds;

// Each package stages a.bin, b.bin and c.bin (5 bytes each). No text: the
// package has no position list.
TEST(PackageCheck, ReportsWhatTheListWouldDo) {
    struct Case {
        const char* text;
        std::vector<std::string> targets;  // one per entry; none: not compared
        std::vector<long> missing, clamped, blanks;
        std::vector<std::vector<long>> same_staged_file;
        long unread;
        LineEnds ends;
        std::uintmax_t bytes;
    };
    const Case cases[] = {
        {"\\system\\a.bin\r\n-\\system\\old.bin\r\n\\b.bin",
         {"\\system\\a.bin", "\\system\\old.bin", "\\b.bin"},
         {},
         {},
         {},
         {},
         0,
         LineEnds::kCrLf,
         10},
        {"\\x\\a.bin\n\\..\\..\\c.bin\n\\y\\A.BIN\n\\z.bin\n-\\..\\old\n\n\\never.bin\n\\more.bin",
         {"\\x\\a.bin", "\\c.bin", "\\y\\A.BIN", "\\z.bin", "\\old", ""},
         {4},
         {2, 5},
         {},
         {{1, 3}},
         2,
         LineEnds::kLf,
         15},
        {"\\data \\a.bin\r\\data.\\b.bin\r\n\\sys\\\r",
         {},
         {},
         {},
         {1, 2},
         {},
         0,
         LineEnds::kMixed,
         10},
        {"\r\n\\a.bin\r\n\\b.bin", {}, {}, {}, {}, {}, 2, LineEnds::kCrLf, 0},
        {nullptr, {}, {}, {}, {}, {}, 0, LineEnds::kNone, 0},
    };
    for (const Case& c : cases) {
        World w;
        for (const char* name : {"a.bin", "b.bin", "c.bin"}) {
            w.Stage(name, "new " + std::string(1, name[0]), 50);
        }
        if (c.text != nullptr) {
            w.PositionList(c.text);
        }
        const auto fs = w.host.CreateFileSystemObject("Scripting.FileSystemObject");
        const auto size_of = [&w](const std::string& path) { return w.Content(path).size(); };
        const update::PackageCheck check = update::CheckPackage(
            w.host, *fs, "C:\\Upd\\mtmp\\", size_of, c.text == nullptr ? "" : c.text);

        SCOPED_TRACE(c.text == nullptr ? "no list" : c.text);
        std::vector<std::string> targets;
        std::vector<long> missing, clamped, blanks;
        for (const update::CheckedEntry& entry : check.entries) {
            targets.push_back(entry.target);
            if (entry.missing) missing.push_back(entry.line);
            if (entry.clamped) clamped.push_back(entry.line);
            if (entry.trailing_blanks) blanks.push_back(entry.line);
        }
        if (!c.targets.empty()) {
            EXPECT_EQ(targets, c.targets);
        }
        EXPECT_EQ(missing, c.missing);
        EXPECT_EQ(clamped, c.clamped);
        EXPECT_EQ(blanks, c.blanks);
        EXPECT_EQ(check.same_staged_file, c.same_staged_file);
        EXPECT_EQ(check.unread_lines, c.unread);
        EXPECT_EQ(check.line_ends, c.ends);
        EXPECT_EQ(check.total_bytes, c.bytes);
        EXPECT_EQ(check.NotFound(), c.text == nullptr || !c.missing.empty());
        EXPECT_FALSE(w.log.Contains("CopyFile") || w.log.Contains("CreateFolder") ||
                     w.log.Contains("DeleteFile"));
    }
}

}  // namespace
}  // namespace velno::testing
