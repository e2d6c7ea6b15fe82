#pragma once

// The program's one text input, shared by every host: the host reads the
// file's bytes, this class hands them out line by line.
//
// A carriage return, a carriage return followed by a line feed, or a lone
// line feed ends a line; the line's text excludes its end. A leading UTF-8
// byte-order mark is not part of the first line. Valid UTF-8 is kept as it
// is; any other byte is read as Windows-1252. Reading at the end of the data
// gives an empty line, so an empty file holds one empty line.

#include <cstddef>
#include <string>
#include <string_view>

namespace velno::platform {

class TextInput {
public:
    void Open(std::string bytes);
    bool IsOpen() const { return open_; }
    std::string ReadLine();
    bool AtEnd() const { return position_ >= bytes_.size(); }
    void Rewind();
    void Close();

private:
    std::string bytes_;
    std::size_t start_ = 0;  // after the byte-order mark
    std::size_t position_ = 0;
    bool open_ = false;
};

// Turns bytes into UTF-8: valid UTF-8 sequences stay, every other byte is
// taken as a Windows-1252 character.
std::string DecodeText(std::string_view bytes);

}  // namespace velno::platform
