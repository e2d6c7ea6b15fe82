#include "platform/text_input.h"

#include <algorithm>
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
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

constexpr char32_t kReplacement = 0xFFFD;

// A UTF-16 file after its byte-order mark, handed out as UTF-8 a piece at a
// time. A pair of surrogates is one character; a lone surrogate, or an odd
// byte at the end, becomes U+FFFD.
class Utf16Source : public ByteSource {
public:
    Utf16Source(std::unique_ptr<ByteSource> bytes, bool big_endian)
        : bytes_(std::move(bytes)), big_endian_(big_endian) {}

    std::size_t Read(const char* operation, std::span<char> buffer) override {
        while (handed_ == decoded_.size() && !ended_) {
            Decode(operation);
        }
        const std::size_t count = decoded_.copy(buffer.data(), buffer.size(), handed_);
        handed_ += count;
        return count;
    }

    void Rewind(const char* operation) override {
        bytes_->Rewind(operation);
        undecoded_.clear();
        decoded_.clear();
        handed_ = 0;
        mark_left_ = 2;
        ended_ = false;
    }

private:
    char32_t Unit(std::size_t at) const {
        const auto first = static_cast<std::uint8_t>(undecoded_[at]);
        const auto second = static_cast<std::uint8_t>(undecoded_[at + 1]);
        return big_endian_ ? (first << 8 | second) : (second << 8 | first);
    }

    // Reads the next bytes and decodes every whole character among them.
    void Decode(const char* operation) {
        char chunk[4096];
        const std::size_t read = bytes_->Read(operation, chunk);
        ended_ = read == 0;
        undecoded_.append(chunk, read);
        const std::size_t mark = std::min(mark_left_, undecoded_.size());
        undecoded_.erase(0, mark);
        mark_left_ -= mark;
        decoded_.clear();
        handed_ = 0;
        std::size_t at = 0;
        for (; at + 2 <= undecoded_.size(); at += 2) {
            const char32_t unit = Unit(at);
            if (unit >= 0xD800 && unit <= 0xDBFF && at + 4 > undecoded_.size() && !ended_) {
                break;  // its pair may follow in the next bytes
            }
            const char32_t low = at + 4 <= undecoded_.size() ? Unit(at + 2) : 0;
            if (unit >= 0xD800 && unit <= 0xDBFF && low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(decoded_, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                at += 2;
            } else {
                AppendUtf8(decoded_, unit >= 0xD800 && unit <= 0xDFFF ? kReplacement : unit);
            }
        }
        if (ended_ && at < undecoded_.size()) {
            AppendUtf8(decoded_, kReplacement);
            at = undecoded_.size();
        }
        undecoded_.erase(0, at);
    }

    std::unique_ptr<ByteSource> bytes_;
    bool big_endian_;
    std::string undecoded_;  // at most a character's bytes between reads
    std::string decoded_;
    std::size_t handed_ = 0;
    std::size_t mark_left_ = 2;
    bool ended_ = false;
};

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
        // Plain ASCII, by far the most of a list, is taken a run at a time.
        std::size_t ascii = i;
        while (ascii < bytes.size() && static_cast<std::uint8_t>(bytes[ascii]) < 0x80) {
            ++ascii;
        }
        out.append(bytes.substr(i, ascii - i));
        i = ascii;
        if (i == bytes.size()) {
            break;
        }
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

std::size_t StringSource::Read(const char*, std::span<char> buffer) {
    const std::size_t count = bytes_.copy(buffer.data(), buffer.size(), position_);
    position_ += count;
    return count;
}

TextInput::TextInput(std::size_t chunk_size) : buffer_(chunk_size < 4 ? 4 : chunk_size) {}

void TextInput::Open(std::unique_ptr<ByteSource> source) {
    source_ = std::move(source);
    begin_ = end_ = 0;
    try {
        SkipByteOrderMark("OpenTextInput");
    } catch (...) {
        Close();  // a file that cannot be read is not open
        throw;
    }
}

bool TextInput::Buffer(std::size_t count, const char* operation) {
    while (end_ - begin_ < count) {
        if (begin_ > 0) {
            std::copy(buffer_.begin() + static_cast<std::ptrdiff_t>(begin_),
                      buffer_.begin() + static_cast<std::ptrdiff_t>(end_), buffer_.begin());
            end_ -= begin_;
            begin_ = 0;
        }
        const std::size_t read = source_->Read(operation, std::span<char>(buffer_).subspan(end_));
        if (read == 0) {
            return false;
        }
        end_ += read;
    }
    return true;
}

void TextInput::SkipByteOrderMark(const char* operation) {
    // A UTF-16 list, as Windows' Notepad saves "Unicode", is read through a
    // decoder from its start (a U+FEFF right after the mark is dropped as
    // the UTF-8 mark is).
    if (Buffer(2, operation)) {
        const std::string_view mark(&buffer_[begin_], 2);
        if (mark == "\xFF\xFE" || mark == "\xFE\xFF") {
            source_ = std::make_unique<Utf16Source>(std::move(source_), mark == "\xFE\xFF");
            source_->Rewind(operation);
            begin_ = end_ = 0;
        }
    }
    if (Buffer(3, operation) && std::string_view(&buffer_[begin_], 3) == "\xEF\xBB\xBF") {
        begin_ += 3;
    }
}

std::string TextInput::ReadLine() {
    static constexpr const char* kOperation = "ReadLine";
    std::string bytes;
    while (Buffer(1, kOperation)) {
        const char* const data = buffer_.data();
        std::size_t line_end = begin_;
        while (line_end < end_ && data[line_end] != '\r' && data[line_end] != '\n') {
            ++line_end;
        }
        bytes.append(data + begin_, line_end - begin_);
        begin_ = line_end;
        if (line_end < end_) {
            ++begin_;
            // A line feed right after a carriage return belongs to the same
            // line end, also when it starts the next chunk.
            if (data[line_end] == '\r' && Buffer(1, kOperation) && buffer_[begin_] == '\n') {
                ++begin_;
            }
            break;
        }
    }
    return DecodeText(bytes);
}

bool TextInput::AtEnd() { return !Buffer(1, "AtEnd"); }

void TextInput::Rewind() {
    source_->Rewind("Rewind");
    begin_ = end_ = 0;
    SkipByteOrderMark("Rewind");
}

void TextInput::Close() {
    source_.reset();
    begin_ = end_ = 0;
}

}  // namespace velno::platform
