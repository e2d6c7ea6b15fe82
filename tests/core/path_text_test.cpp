#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

#include "platform/path_text.h"
#include "platform/text_input.h"

namespace velno::platform {
namespace {

using Lines = std::vector<std::string>;

TEST(PathText, NamesParentsAndSerialNumbers) {
    const std::pair<std::string, std::string> names[] = {{"\\system\\data\\a.bin", "a.bin"},
                                                         {"a.bin", "a.bin"},
                                                         {"\\sys/mixed.bin", "mixed.bin"},
                                                         {"\\system\\data\\", ""},
                                                         {"", ""}};
    for (const auto& [path, name] : names) {
        EXPECT_EQ(GetFileName(path), name) << path;
    }
    const std::pair<std::string, std::string> parents[] = {
        {"\\system\\data\\a.bin", "\\system\\data"},
        {"\\a.bin", "\\"},
        {"a.bin", ""},
        {"\\system\\\\a.bin", "\\system"},
        {"C:\\Upd\\mtmp\\", "C:\\Upd\\mtmp"}};
    for (const auto& [path, parent] : parents) {
        EXPECT_EQ(GetParentFolderName(path), parent) << path;
    }
    // Upper-case hexadecimal without leading zeros, of the unsigned value.
    const std::pair<std::int32_t, std::string> serials[] = {
        {0, "0"},         {255, "FF"},          {0x1A2B3C4D, "1A2B3C4D"}, {0xABCDEF, "ABCDEF"},
        {-1, "FFFFFFFF"}, {INT_MIN, "80000000"}};
    for (const auto& [serial, text] : serials) {
        EXPECT_EQ(SerialNumberText(serial), text);
    }
}

// Trailing blanks and dots go, as Windows drops them; what trims to nothing
// (also ".. ") is passed over and never climbs above the root.
TEST(PathText, ResolutionNeverClimbsAboveTheRoot) {
    const std::pair<std::string, Lines> cases[] = {
        {"\\system\\data\\a.bin", {"system", "data", "a.bin"}},
        {"\\..\\..\\home\\x", {"home", "x"}},
        {"a/./b//c\\..\\d", {"a", "b", "d"}},
        {"x\\..\\..\\..", {}},
        {"", {}},
        {"...\\a", {"a"}},
        {"\\system \\a.bin. ", {"system", "a.bin"}},
        {"\\x\\a. .\\.. \\. \\..\\ b", {"x", " b"}}};
    for (const auto& [path, parts] : cases) {
        EXPECT_EQ(ResolveBelowRoot(path), parts) << path;
    }
}

TEST(PathText, WildcardsMatchAnyRunAndIgnoreCase) {
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"Veln4*.mem", "Veln4main.mem", true},
        {"Veln4*.mem", "Veln4.mem", true},
        {"Veln4*.mem", "VELN4MAIN.MEM", true},
        {"Veln4*.mem", "Veln4a.mem.mem", true},
        {"Veln4*.mem", "Veln5main.mem", false},
        {"Veln4*.mem", "Veln4main.mem.bak", false},
        {"Veln4*.mem", "xVeln4main.mem", false},
        {"a?c", "abc", true},
        {"a?c", "ac", false}};
    for (const auto& [pattern, name, matches] : cases) {
        EXPECT_EQ(WildcardMatch(pattern, name), matches) << pattern << " " << name;
    }
    EXPECT_TRUE(EqualsIgnoreCase("OldRel", "OLDREL"));
    EXPECT_FALSE(EqualsIgnoreCase("OldRel", "OldRe"));
}

// The input is read a chunk at a time: the smallest chunks split every line
// end, byte-order mark and multi-byte character somewhere. Reading on at
// the end gives empty lines; Rewind starts again after the mark.
TEST(TextInput, EveryKindOfLineEndEndsALineAcrossChunks) {
    const std::string long_line(70'000, 'x');  // longer than a chunk
    const std::pair<std::string, Lines> cases[] = {
        {"a\r\nb\r\nc", {"a", "b", "c"}},
        {"a\rb\rc", {"a", "b", "c"}},
        {"a\nb\nc", {"a", "b", "c"}},
        {"a\r\nb\nc\r", {"a", "b", "c"}},
        {"a\nb\r\nc\n", {"a", "b", "c"}},
        {"a\n\r\nb\r\r", {"a", "", "b", ""}},
        {"ab\r\n\r\nc\xC3\xA9\r\n", {"ab", "", "c\xC3\xA9"}},
        {"\xEF\xBB\xBF\\a\r\n" + long_line + "\r\n\\b", {"\\a", long_line, "\\b"}},
        {"\xEF\xBB", {"\xC3\xAF\xC2\xBB"}},  // not a whole mark: text
        {"\xEF\xBB\xBF", {}},
        {"", {}},
        // NUL bytes are text like any other: they neither end nor cut a line.
        {std::string("a\0b\r\n\0", 6), {std::string("a\0b", 3), std::string("\0", 1)}}};
    for (const std::size_t chunk :
         {std::size_t{4}, std::size_t{5}, std::size_t{7}, TextInput::kChunkSize}) {
        TextInput input(chunk);  // opened again for each text
        for (const auto& [text, lines] : cases) {
            input.Open(text);
            for (int pass = 0; pass < 2; ++pass) {
                Lines read;
                while (!input.AtEnd()) {
                    read.push_back(input.ReadLine());
                }
                EXPECT_EQ(read, lines) << "chunk " << chunk << ": " << text.substr(0, 20);
                EXPECT_EQ(input.ReadLine(), "");
                input.Rewind();
            }
        }
    }
}

TEST(TextInput, InvalidUtf8IsReadAsWindows1252) {
    const std::pair<std::string, std::string> cases[] = {
        // Valid UTF-8 stays as it is, with the lowest and highest lead bytes
        // of two- and four-byte sequences.
        {"\\d\xC3\xA9j\xC3\xA0.bin", "\\d\xC3\xA9j\xC3\xA0.bin"},
        {"\xE2\x82\xAC", "\xE2\x82\xAC"},
        {"\xC2\xA0\xDF\xBF", "\xC2\xA0\xDF\xBF"},
        {"\xF0\x9F\x8E\xB9\xF4\x8F\xBF\xBF", "\xF0\x9F\x8E\xB9\xF4\x8F\xBF\xBF"},
        // Lone bytes: e acute, euro sign, a byte the code page leaves undefined.
        {"caf\xE9", "caf\xC3\xA9"},
        {"\x80", "\xE2\x82\xAC"},
        {"\x81", "\xC2\x81"},
        // Overlong forms, surrogates, truncated sequences, a lead byte
        // without its continuation.
        {"\xC0\xAF", "\xC3\x80\xC2\xAF"},
        {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xE2\x82\xAC"},
        {"\xC3", "\xC3\x83"},
        {"\xC2\x41", "\xC3\x82\x41"}};
    for (const auto& [bytes, text] : cases) {
        EXPECT_EQ(DecodeText(bytes), text);
    }
}

// A million lines made up as they are read: counted and read line by line
// while the input never asks for more than one chunk at a time.
TEST(TextInput, AMillionEntriesAreStreamedAChunkAtATime) {
    struct MillionLines : ByteSource {
        std::size_t Read(const char*, std::span<char> buffer) override {
            largest_read = std::max(largest_read, buffer.size());
            const std::size_t n = std::min(buffer.size(), 1'000'000 * 7 - position);
            for (std::size_t i = 0; i < n; ++i, ++position) {
                buffer[i] = position % 7 == 6 ? '\n' : static_cast<char>('0' + position / 7 % 10);
            }
            return n;
        }
        void Rewind(const char*) override { position = 0; }
        std::size_t position = 0, largest_read = 0;
    };
    auto source = std::make_unique<MillionLines>();
    const MillionLines& list = *source;
    TextInput input;
    input.Open(std::move(source));
    long count = 0;
    std::string last;
    for (; !input.AtEnd(); ++count) {
        last = input.ReadLine();
    }
    EXPECT_EQ(count, 1'000'000);
    EXPECT_EQ(last, "999999");
    EXPECT_EQ(list.largest_read, TextInput::kChunkSize);
}

}  // namespace
}  // namespace velno::platform
