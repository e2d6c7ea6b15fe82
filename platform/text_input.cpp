#include "platform/text_input.h"

#include <array>
#include <cstdint>

namespace velno::platform {

namespace {

// Unicode code points of Windows-1252 bytes 0x80 to 0x9F. The five bytes the
// code page leaves undefined map to the C1 control of the same value, as
// Windows itself converts them.
constexpr std::array<char32_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Length of the valid UTF-8 sequence at bytes[i], or 0 when there is none
// (overlong forms, surrogates and values above U+10FFFF are invalid).
std::size_t ValidSequenceLength(std::string_view bytes, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(bytes[k]); };
    const std::uint8_t lead = byte(i);
    std::size_t length = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, cp = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, cp = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, cp = lead & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (i + length > bytes.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            return 0;
        }
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return 0;
    }
    return length;
}

}  // namespace

std::string DecodeText(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const std::size_t length = ValidSequenceLength(bytes, i);
        if (length > 0) {
            out.append(bytes.substr(i, length));
            i += length;
            continue;
        }
        const auto b = static_cast<std::uint8_t>(bytes[i++]);
        AppendUtf8(out,
                   (b >= 0x80 && b <= 0x9F) ? kCp1252High[b - 0x80] : static_cast<char32_t>(b));
    }
    return out;
}

void TextInput::Open(std::string bytes) {
    bytes_ = std::move(bytes);
    start_ = bytes_.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    position_ = start_;
    open_ = true;
}

std::string TextInput::ReadLine() {
    std::size_t end = position_;
    while (end < bytes_.size() && bytes_[end] != '\r' && bytes_[end] != '\n') {
        ++end;
    }
    std::string line = DecodeText(std::string_view(bytes_).substr(position_, end - position_));
    if (end < bytes_.size()) {
        const bool crlf = bytes_[end] == '\r' && end + 1 < bytes_.size() && bytes_[end + 1] == '\n';
        end += crlf ? 2 : 1;
    }
    position_ = end;
    return line;
}

void TextInput::Rewind() { position_ = start_; }

void TextInput::Close() {
    bytes_.clear();
    start_ = position_ = 0;
    open_ = false;
}

}  // namespace velno::platform
