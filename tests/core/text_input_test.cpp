#include <gtest/gtest.h>

#include <algorithm>

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

// The input is read a chunk at a time: the smallest chunks split every line
// end, byte-order mark and multi-byte character somewhere.
constexpr std::size_t kChunkSizes[] = {4, 5, 7, TextInput::kChunkSize};

TEST(TextInput, EveryKindOfLineEndEndsALineAcrossChunks) {
    using V = std::vector<std::string>;
    const std::string long_line(70'000, 'x');  // longer than a chunk
    const std::vector<std::pair<std::string, V>> cases = {
        {"a\r\nb\r\nc", {"a", "b", "c"}},
        {"a\rb\rc", {"a", "b", "c"}},
        {"a\nb\nc", {"a", "b", "c"}},
        {"a\r\nb\nc\r", {"a", "b", "c"}},
        {"a\nb\r\nc\n", {"a", "b", "c"}},
        {"a\n\r\nb\r\r", {"a", "", "b", ""}},
        {"ab\r\n\r\nc\xC3\xA9\r\n", {"ab", "", "c\xC3\xA9"}},
        {"\xEF\xBB\xBF\\a\r\n" + long_line + "\r\n\\b", {"\\a", long_line, "\\b"}},
        // NUL bytes are text like any other: they neither end nor cut a line.
        {std::string("a\0b\r\n\0", 6), {std::string("a\0b", 3), std::string("\0", 1)}},
    };
    for (const std::size_t chunk : kChunkSizes) {
        for (const auto& [text, lines] : cases) {
            TextInput input(chunk);
            input.Open(text);
            EXPECT_EQ(AllLines(input), lines) << "chunk " << chunk << ": " << text.substr(0, 20);
            input.Rewind();
            EXPECT_EQ(input.ReadLine(), lines.front()) << "chunk " << chunk;
        }
    }
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
    for (const std::size_t chunk : kChunkSizes) {
        TextInput input(chunk);
        input.Open("\xEF\xBB\xBF\\a.bin\r\n\\b.bin");
        EXPECT_EQ(input.ReadLine(), "\\a.bin");
        EXPECT_EQ(input.ReadLine(), "\\b.bin");
        input.Rewind();
        EXPECT_EQ(input.ReadLine(), "\\a.bin");
        input.Open("\xEF\xBB\xBF");
        EXPECT_TRUE(input.AtEnd());
        input.Open("\xEF\xBB");  // not a whole mark: text
        EXPECT_EQ(input.ReadLine(), "\xC3\xAF\xC2\xBB");
    }
}

TEST(TextInput, InvalidUtf8IsReadAsWindows1252) {
    // Valid UTF-8 stays as it is, including multi-byte characters.
    EXPECT_EQ(DecodeText("\\d\xC3\xA9j\xC3\xA0.bin"), "\\d\xC3\xA9j\xC3\xA0.bin");
    EXPECT_EQ(DecodeText("\xE2\x82\xAC"), "\xE2\x82\xAC");
    // The lowest and highest lead bytes of two- and four-byte sequences.
    EXPECT_EQ(DecodeText("\xC2\xA0\xDF\xBF"), "\xC2\xA0\xDF\xBF");
    EXPECT_EQ(DecodeText("\xF0\x9F\x8E\xB9\xF4\x8F\xBF\xBF"), "\xF0\x9F\x8E\xB9\xF4\x8F\xBF\xBF");
    // Lone Windows-1252 bytes: e acute, euro sign, a byte the code page
    // leaves undefined.
    EXPECT_EQ(DecodeText("caf\xE9"), "caf\xC3\xA9");
    EXPECT_EQ(DecodeText("\x80"), "\xE2\x82\xAC");
    EXPECT_EQ(DecodeText("\x81"), "\xC2\x81");
    // Overlong forms, surrogates and truncated sequences are not UTF-8.
    EXPECT_EQ(DecodeText("\xC0\xAF"), "\xC3\x80\xC2\xAF");
    EXPECT_EQ(DecodeText("\xED\xA0\x80"), "\xC3\xAD\xC2\xA0\xE2\x82\xAC");
    EXPECT_EQ(DecodeText("\xC3"), "\xC3\x83");
    EXPECT_EQ(DecodeText("\xC2\x41"), "\xC3\x82\x41");  // a lead byte without its continuation
}

// A list of a million entries, made up as it is read ("\f0000000.bin" to
// "\f0999999.bin"): it is counted and read line by line while the input
// never asks for more than one chunk at a time.
class MillionEntries : public ByteSource {
public:
    static constexpr std::size_t kLine = 15;
    static constexpr std::size_t kSize = 1'000'000 * kLine;
    std::size_t Read(const char*, std::span<char> buffer) override {
        largest_read = std::max(largest_read, buffer.size());
        std::size_t count = 0;
        while (count < buffer.size() && position_ < kSize) {
            char line[] = "\\f0000000.bin\r\n";
            for (std::size_t entry = position_ / kLine, digit = 8; entry > 0; entry /= 10) {
                line[digit--] = static_cast<char>('0' + entry % 10);
            }
            const std::size_t from = position_ % kLine;
            const std::size_t n = std::min(kLine - from, buffer.size() - count);
            std::copy_n(line + from, n, buffer.data() + count);
            count += n;
            position_ += n;
        }
        return count;
    }
    void Rewind(const char*) override { position_ = 0; }
    std::size_t largest_read = 0;

private:
    std::size_t position_ = 0;
};

TEST(TextInput, AMillionEntriesAreStreamedAChunkAtATime) {
    auto source = std::make_unique<MillionEntries>();
    const MillionEntries& list = *source;
    TextInput input;
    input.Open(std::move(source));
    long count = 0;
    std::string last;
    while (!input.AtEnd()) {
        last = input.ReadLine();
        ++count;
    }
    EXPECT_EQ(count, 1'000'000);
    EXPECT_EQ(last, "\\f0999999.bin");
    EXPECT_EQ(list.largest_read, TextInput::kChunkSize);
}

}  // namespace
}  // namespace velno::platform
