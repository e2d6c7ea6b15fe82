#include <gtest/gtest.h>

#include "platform/text_input.h"

namespace velno::platform {
namespace {

std::vector<std::string> AllLines(TextInput& input) {
    std::vector<std::string> lines;
    while (!input.AtEnd()) {
        lines.push_back(input.ReadLine());
    }
    return lines;
}

TEST(TextInput, EveryKindOfLineEndEndsALine) {
    using V = std::vector<std::string>;
    for (const char* text : {"a\r\nb\r\nc", "a\rb\rc", "a\nb\nc", "a\r\nb\nc\r", "a\nb\r\nc\n"}) {
        TextInput input;
        input.Open(text);
        EXPECT_EQ(AllLines(input), (V{"a", "b", "c"})) << text;
    }
    TextInput input;
    input.Open("a\n\r\nb\r\r");
    EXPECT_EQ(AllLines(input), (V{"a", "", "b", ""}));
}

TEST(TextInput, ReadingAtTheEndGivesEmptyLines) {
    TextInput input;
    input.Open("");
    EXPECT_TRUE(input.AtEnd());
    EXPECT_EQ(input.ReadLine(), "");
    input.Open("x");
    EXPECT_EQ(input.ReadLine(), "x");
    EXPECT_TRUE(input.AtEnd());
    EXPECT_EQ(input.ReadLine(), "");
}

TEST(TextInput, RewindStartsAgainAfterTheByteOrderMark) {
    TextInput input;
    input.Open("\xEF\xBB\xBF\\a.bin\r\n\\b.bin");
    EXPECT_EQ(input.ReadLine(), "\\a.bin");
    EXPECT_EQ(input.ReadLine(), "\\b.bin");
    input.Rewind();
    EXPECT_EQ(input.ReadLine(), "\\a.bin");
    input.Open("\xEF\xBB\xBF");
    EXPECT_TRUE(input.AtEnd());
}

TEST(TextInput, InvalidUtf8IsReadAsWindows1252) {
    // Valid UTF-8 stays as it is, including multi-byte characters.
    EXPECT_EQ(DecodeText("\\d\xC3\xA9j\xC3\xA0.bin"), "\\d\xC3\xA9j\xC3\xA0.bin");
    EXPECT_EQ(DecodeText("\xE2\x82\xAC"), "\xE2\x82\xAC");
    // Lone Windows-1252 bytes: e acute, euro sign, a byte the code page
    // leaves undefined.
    EXPECT_EQ(DecodeText("caf\xE9"), "caf\xC3\xA9");
    EXPECT_EQ(DecodeText("\x80"), "\xE2\x82\xAC");
    EXPECT_EQ(DecodeText("\x81"), "\xC2\x81");
    // Overlong forms, surrogates and truncated sequences are not UTF-8.
    EXPECT_EQ(DecodeText("\xC0\xAF"), "\xC3\x80\xC2\xAF");
    EXPECT_EQ(DecodeText("\xED\xA0\x80"), "\xC3\xAD\xC2\xA0\xE2\x82\xAC");
    EXPECT_EQ(DecodeText("\xC3"), "\xC3\x83");
    EXPECT_EQ(DecodeText("\xC3("), "\xC3\x83(");    // a lead byte without its continuation
    EXPECT_EQ(DecodeText("\xDF\xBF"), "\xDF\xBF");  // the highest two-byte lead
}

}  // namespace
}  // namespace velno::platform
