#include "platform/linux/mountinfo.h"

#include <charconv>

#include "platform/linux/file_io.h"
#include "platform/linux/system_error.h"

namespace velno::platform::linux_host {

namespace {

bool IsOctal(char c) { return c >= '0' && c <= '7'; }

// The kernel writes blank, tab, newline and backslash in paths as "\ooo".
std::string Unescape(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && IsOctal(field[i + 1]) &&
            IsOctal(field[i + 2]) && IsOctal(field[i + 3])) {
            const int value =
                (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
            out += static_cast<char>(value);
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

std::vector<std::string_view> SplitBlanks(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (start < line.size()) {
        const std::size_t end = line.find(' ', start);
        const std::size_t stop = end == std::string_view::npos ? line.size() : end;
        if (stop > start) {
            fields.push_back(line.substr(start, stop - start));
        }
        start = stop + 1;
    }
    return fields;
}

bool ParseNumber(std::string_view text, unsigned& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc{} && end == text.data() + text.size();
}

// "36 35 98:0 /mnt1 /mnt/parent rw,noatime master:1 - ext3 /dev/root rw"
bool ParseLine(std::string_view line, MountEntry& entry) {
    const std::vector<std::string_view> fields = SplitBlanks(line);
    if (fields.size() < 7) {
        return false;
    }
    std::size_t dash = 6;  // the optional fields end with a lone "-"
    while (dash < fields.size() && fields[dash] != "-") {
        ++dash;
    }
    if (dash + 2 >= fields.size()) {
        return false;
    }
    const std::string_view device = fields[2];
    const std::size_t colon = device.find(':');
    if (colon == std::string_view::npos || !ParseNumber(device.substr(0, colon), entry.major) ||
        !ParseNumber(device.substr(colon + 1), entry.minor)) {
        return false;
    }
    entry.mount_point = Unescape(fields[4]);
    entry.file_system = Unescape(fields[dash + 1]);
    entry.source = Unescape(fields[dash + 2]);
    return true;
}

}  // namespace

std::vector<MountEntry> ParseMountInfo(std::string_view text) {
    std::vector<MountEntry> entries;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        MountEntry entry;
        if (ParseLine(text.substr(start, end - start), entry)) {
            entries.push_back(std::move(entry));
        }
        start = end + 1;
    }
    return entries;
}

std::vector<MountEntry> ReadMountInfo(const std::string& path) {
    std::string text;
    if (const int error = ReadWholeFile(path, text); error != 0) {
        ThrowSystemError("Drives", {path}, error);
    }
    return ParseMountInfo(text);
}

}  // namespace velno::platform::linux_host
