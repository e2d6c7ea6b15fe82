#include "update/package_check.h"
#include "core/world.h"

namespace velno::testing {
namespace {

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
        text += "same";
        for (const long line : lines) {
            text.append(" ").append(std::to_string(line));
        }
        text += "; ";
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
        {"\\system\\a.bin\r\n-\\system\\old.bin\r\n\\b.bin", LineEnds::kCrLf,
         "\\system\\a.bin; \\system\\old.bin; \\b.bin; unread 0, 10 bytes"},
        {"\\x\\a.bin\n\\..\\..\\c.bin\n\\y\\A.BIN\n\\z.bin\n-\\..\\old\n\n\\never.bin\n\\more.bin",
         LineEnds::kLf,
         "\\x\\a.bin; \\c.bin clamped; \\y\\A.BIN; \\z.bin missing; \\old clamped; ; same 1 3; "
         "unread 2, 15 bytes"},
        {"\\data \\a.bin\r\\data.\\b.bin\r\n\\sys\\\r", LineEnds::kMixed,
         "\\data\\a.bin blanks; \\data\\b.bin blanks; ; unread 0, 10 bytes"},
        {"\r\n\\a.bin\r\n\\b.bin", LineEnds::kCrLf, "unread 2, 0 bytes"},
        {nullptr, LineEnds::kNone, "unread 0, 0 bytes"}};
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
        EXPECT_EQ(Summary(check), c.summary);
        EXPECT_EQ(check.line_ends, c.ends) << c.summary;
        EXPECT_EQ(check.NotFound(),
                  c.text == nullptr || c.summary.find("missing") != std::string::npos)
            << c.summary;
        EXPECT_FALSE(w.log.Contains("CopyFile") || w.log.Contains("CreateFolder") ||
                     w.log.Contains("DeleteFile"));
    }
}

}  // namespace
}  // namespace velno::testing
