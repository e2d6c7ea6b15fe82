#include <gtest/gtest.h>

#include "platform/path_text.h"
#include "platform/text_input.h"

namespace velno::platform {
namespace {

using Lines = std::vector<std::string>;
using namespace std::string_literals;

// Names and parents; resolution drops trailing blanks and dots, as Windows
// does, passes over what trims to nothing (also ".. ") and never climbs above
// the root; wildcards match any run and ignore case.
TEST(PathText, NamesParentsResolutionAndWildcards) {
    EXPECT_EQ(GetFileName("\\system\\data\\a.bin"), "a.bin");
    EXPECT_EQ(GetFileName("\\sys/mixed.bin"), "mixed.bin");
    EXPECT_EQ(GetFileName("\\system\\data\\"), "");
    EXPECT_EQ(GetFileName(""), "");
    EXPECT_EQ(GetParentFolderName("\\system\\data\\a.bin"), "\\system\\data");
    EXPECT_EQ(GetParentFolderName("\\a.bin"), "\\");
    EXPECT_EQ(GetParentFolderName("\\system\\\\a.bin"), "\\system");
    EXPECT_EQ(ResolveBelowRoot("\\..\\..\\home\\x"), (Lines{"home", "x"}));
    EXPECT_EQ(ResolveBelowRoot("a/./b//c\\..\\d"), (Lines{"a", "b", "d"}));
    EXPECT_EQ(ResolveBelowRoot("x\\..\\..\\.."), Lines{});
    EXPECT_EQ(ResolveBelowRoot("...\\a"), (Lines{"a"}));
    EXPECT_EQ(ResolveBelowRoot("\\system \\a.bin. "), (Lines{"system", "a.bin"}));
    EXPECT_EQ(ResolveBelowRoot("\\x\\a. .\\.. \\. \\..\\ b"), (Lines{"x", " b"}));
    for (const char* name : {"Veln4main.mem", "Veln4.mem", "VELN4MAIN.MEM", "Veln4a.mem.mem"}) {
        EXPECT_TRUE(WildcardMatch("Veln4*.mem", name)) << name;
    }
    for (const char* name : {"Veln5main.mem", "Veln4main.mem.bak", "xVeln4main.mem"}) {
        EXPECT_FALSE(WildcardMatch("Veln4*.mem", name)) << name;
    }
    EXPECT_TRUE(WildcardMatch("a?c", "abc"));
    EXPECT_FALSE(WildcardMatch("a?c", "ac"));
    EXPECT_TRUE(WildcardMatch("a**", "a"));  // stars at the end match nothing too
}

// The input is read a chunk at a time: the smallest chunks split every line
// end, byte-order mark and multi-byte character somewhere. Reading on at
// the end gives empty lines; Rewind starts again after the mark.
TEST(TextInput, EveryKindOfLineEndEndsALineAcrossChunks) {
    const std::string long_line(70'000, 'x');  // longer than a chunk
    const std::pair<std::string, Lines> cases[] = {
        {"a\r\nb\nc\r", {"a", "b", "c"}},
        {"a\nb\r\nc\n", {"a", "b", "c"}},
        {"a\rb\rc", {"a", "b", "c"}},
        {"a\n\r\nb\r\r", {"a", "", "b", ""}},
        {"ab\r\n\r\nc\xC3\xA9\r\n", {"ab", "", "c\xC3\xA9"}},
        {"\xEF\xBB\xBF\\a\r\n" + long_line + "\r\n\\b", {"\\a", long_line, "\\b"}},
        {"\xEF\xBB", {"\xC3\xAF\xC2\xBB"}},  // not a whole mark: text
        {"\xEF\xBB\xBF", {}},
        // NUL bytes are text like any other: they neither end nor cut a line.
        {std::string("a\0b\r\n\0", 6), {std::string("a\0b", 3), std::string("\0", 1)}},
        // UTF-16 after its mark, either byte order: a surrogate pair is one
        // character; a lone surrogate or a last odd byte is U+FFFD.
        {"\xFF\xFE\\\0a\0\r\0\n\0\xE9\0\x3C\xD8\xB9\xDF\r\0\0\xDC"s + "b",
         {"\\a", "\xC3\xA9\xF0\x9F\x8E\xB9", "\xEF\xBF\xBD\xEF\xBF\xBD"}},
        {"\xFE\xFF\0-\0b\0\n\xD8\0\0x"s, {"-b", "\xEF\xBF\xBDx"}},
        {"\xFF\xFE", {}},
        {"\xFF\x0D", {"\xC3\xBF"}}};
    for (const std::size_t chunk : {std::size_t{4}, std::size_t{7}, TextInput::kChunkSize}) {
        TextInput input(chunk);  // opened again for each text
        for (const auto& [text, lines] : cases) {
            input.Open(text);
            for (int pass = 0; pass < 2; ++pass, input.Rewind()) {
                Lines read;
                while (!input.AtEnd()) {
                    read.push_back(input.ReadLine());
                }
                EXPECT_EQ(read, lines) << "chunk " << chunk << ": " << text.substr(0, 20);
                EXPECT_EQ(input.ReadLine(), "");
            }
        }
    }
}

TEST(TextInput, InvalidUtf8IsReadAsWindows1252) {
    // Valid UTF-8 stays as it is: the lowest and highest lead bytes, the
    // smallest two-byte character.
    EXPECT_EQ(DecodeText("\\d\xC3\xA9j\xE2\x82\xAC"), "\\d\xC3\xA9j\xE2\x82\xAC");
    EXPECT_EQ(DecodeText("\xC2\x80\xDF\xBF\xEF\xBF\xBD"), "\xC2\x80\xDF\xBF\xEF\xBF\xBD");
    EXPECT_EQ(DecodeText("\xF0\x9F\x8E\xB9\xF4\x8F\xBF\xBF"), "\xF0\x9F\x8E\xB9\xF4\x8F\xBF\xBF");
    // Lone bytes: e acute, euro sign, a byte the code page leaves undefined.
    EXPECT_EQ(DecodeText("caf\xE9"), "caf\xC3\xA9");
    EXPECT_EQ(DecodeText("\x80\x81"), "\xE2\x82\xAC\xC2\x81");
    // Overlong forms, surrogates, truncated sequences, a lead byte without
    // its continuation.
    EXPECT_EQ(DecodeText("\xC0\xAF"), "\xC3\x80\xC2\xAF");
    EXPECT_EQ(DecodeText("\xED\xA0\x80"), "\xC3\xAD\xC2\xA0\xE2\x82\xAC");
    EXPECT_EQ(DecodeText("\xC3"), "\xC3\x83");
    EXPECT_EQ(DecodeText("\xC2\x41"), "\xC3\x82\x41");
}

}  // namespace
}  // namespace velno::platform
