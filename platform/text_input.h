#pragma once

// The program's one text input, shared by every host: the host reads the
// file's bytes a chunk at a time, this class hands them out line by line.
// Only one chunk and the line being read are held, never the whole file.
//
// A carriage return, a carriage return followed by a line feed, or a lone
// line feed ends a line; the line's text excludes its end. A leading UTF-8
// byte-order mark is not part of the first line. A file that begins with a
// UTF-16 byte-order mark (little- or big-endian) is read as UTF-16. Otherwise
// valid UTF-8 is kept as it is, and any other byte is read as Windows-1252.
// Reading at the end of the data gives an empty line, so an empty file holds
// one empty line.

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velno::platform {

// The bytes of one open file, read from the first byte on.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Fills the front of the buffer with the next bytes and returns their
    // number; 0 only at the end. A failure throws PlatformError naming the
    // operation.
    virtual std::size_t Read(const char* operation, std::span<char> buffer) = 0;
    // The next Read starts again at the first byte.
    virtual void Rewind(const char* operation) = 0;
};

// Bytes held in memory.
class StringSource : public ByteSource {
public:
    explicit StringSource(std::string bytes) : bytes_(std::move(bytes)) {}
    std::size_t Read(const char* operation, std::span<char> buffer) override;
    void Rewind(const char*) override { position_ = 0; }

private:
    std::string bytes_;
    std::size_t position_ = 0;
};

class TextInput {
public:
    static constexpr std::size_t kChunkSize = 64 * 1024;

    // The chunk size is the most that is read at once (at least 4 bytes).
    explicit TextInput(std::size_t chunk_size = kChunkSize);

    void Open(std::unique_ptr<ByteSource> source);
    void Open(std::string bytes) { Open(std::make_unique<StringSource>(std::move(bytes))); }
    bool IsOpen() const { return source_ != nullptr; }
    std::string ReadLine();
    bool AtEnd();
    void Rewind();
    void Close();

private:
    // Makes at least `count` bytes (at most 3) available from begin_; false
    // when the data ends first.
    bool Buffer(std::size_t count, const char* operation);
    void SkipByteOrderMark(const char* operation);

    std::unique_ptr<ByteSource> source_;
    std::vector<char> buffer_;
    std::size_t begin_ = 0;  // the next byte to hand out
    std::size_t end_ = 0;    // after the last byte read
};

// Turns bytes into UTF-8: valid UTF-8 sequences stay, every other byte is
// taken as a Windows-1252 character.
std::string DecodeText(std::string_view bytes);

}  // namespace velno::platform
