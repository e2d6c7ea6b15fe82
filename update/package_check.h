#pragma once

// What an update package's position list would do, for the people who write
// packages: read with the updater's own text input and entry rules, without
// touching any instrument.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/contract.h"
#include "update/update.h"

namespace velno::update {

enum class LineEnds { kNone, kCrLf, kCr, kLf, kMixed };

// How the list's lines end, judged from its bytes.
LineEnds LineEndsOf(std::string_view bytes);

struct CheckedEntry {
    long line = 0;  // from 1
    EntryKind kind = EntryKind::kEnd;
    std::string text;              // the line as read
    std::string target;            // where on the instrument, e.g. "\system\a.bin"; empty: nothing
    std::string staged;            // install entries: the staged file's name
    bool clamped = false;          // ".." would leave the drive and stays at its root
    bool trailing_blanks = false;  // a name ends in blanks or dots
    bool missing = false;          // the updater would show "File ... not found"
    std::uintmax_t bytes = 0;      // the staged file's size
};

struct PackageCheck {
    bool position_file_found = false;
    std::vector<CheckedEntry> entries;
    // Lines after the empty line that ends the list: never read.
    long unread_lines = 0;
    // Groups of install entries (their lines) that name the same staged file.
    std::vector<std::vector<long>> same_staged_file;
    LineEnds line_ends = LineEnds::kNone;
    std::uintmax_t total_bytes = 0;  // copied into an instrument that has none of the files
    long missing = 0;

    // True when the updater would show a "not found" message.
    bool NotFound() const { return !position_file_found || missing > 0; }
};

// Reads the position list of the staging folder (ending in a separator) the
// way the updater does. size_of gives the size of a file that exists;
// position_bytes are the list's bytes, for its line ends.
PackageCheck CheckPackage(platform::Runtime& runtime, platform::FileSystemObject& fs,
                          const std::string& staging_folder,
                          const std::function<std::uintmax_t(const std::string&)>& size_of,
                          std::string_view position_bytes);

}  // namespace velno::update
