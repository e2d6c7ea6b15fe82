#include "update/package_check.h"

#include <algorithm>

namespace velno::update {

namespace {

// Whether a ".." of the path would climb above the drive's root, where the
// hosts keep it: a component in front of the path shows the climb, since
// only a path that climbs above the root removes it.
bool Clamped(std::string_view rest) {
    const std::vector<std::string> below = platform::ResolveBelowRoot("~\\" + std::string(rest));
    return below.empty() || below.front() != "~";
}

bool HasTrailingBlanks(std::string_view path) {
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = start;
        while (end < path.size() && !platform::IsSeparator(path[end])) {
            ++end;
        }
        const std::string_view name = path.substr(start, end - start);
        if (!name.empty() && name != "." && name != ".." &&
            (name.back() == ' ' || name.back() == '.')) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

}  // namespace

LineEnds LineEndsOf(std::string_view bytes) {
    // A UTF-16 list is read as UTF-16 after its byte-order mark: there a
    // character is two bytes, the high one zero for a line end.
    const bool big_endian = bytes.starts_with("\xFE\xFF");
    const std::size_t width = big_endian || bytes.starts_with("\xFF\xFE") ? 2 : 1;
    const auto character = [&](std::size_t i) {
        if (width == 1) {
            return bytes[i];
        }
        const char high = bytes[big_endian ? i : i + 1];
        return high == '\0' ? bytes[big_endian ? i + 1 : i] : '\0';
    };
    bool crlf = false, cr = false, lf = false;
    for (std::size_t i = width == 2 ? 2 : 0; i + width <= bytes.size(); i += width) {
        const char c = character(i);
        if (c == '\r' && i + 2 * width <= bytes.size() && character(i + width) == '\n') {
            crlf = true;
            i += width;
        } else if (c == '\r') {
            cr = true;
        } else if (c == '\n') {
            lf = true;
        }
    }
    const int styles = int{crlf} + int{cr} + int{lf};
    if (styles > 1) {
        return LineEnds::kMixed;
    }
    return crlf ? LineEnds::kCrLf : cr ? LineEnds::kCr : lf ? LineEnds::kLf : LineEnds::kNone;
}

PackageCheck CheckPackage(platform::Runtime& runtime, platform::FileSystemObject& fs,
                          const std::string& staging_folder,
                          const std::function<std::uintmax_t(const std::string&)>& size_of,
                          std::string_view position_bytes) {
    PackageCheck check;
    check.line_ends = LineEndsOf(position_bytes);
    const std::string position_file = staging_folder + "position.txt";
    check.position_file_found = fs.FileExists(position_file);
    if (!check.position_file_found) {
        return check;
    }
    runtime.OpenTextInput(position_file);
    ReadEntries(runtime, [&](const std::string& line) {
        CheckedEntry entry;
        entry.line = static_cast<long>(check.entries.size()) + 1;
        const Entry meaning = EntryOf(line);
        entry.kind = meaning.kind;
        entry.text = line;
        entry.target = meaning.target;
        if (meaning.Acts()) {
            const std::string_view rest =
                std::string_view(line).substr(meaning.kind == EntryKind::kDelete ? 1 : 0);
            entry.clamped = Clamped(rest);
            entry.trailing_blanks = HasTrailingBlanks(rest);
            if (meaning.kind == EntryKind::kInstall) {
                entry.staged = meaning.name;
                entry.missing = !fs.FileExists(staging_folder + meaning.name);
                entry.bytes = entry.missing ? 0 : size_of(staging_folder + meaning.name);
            }
        }
        check.entries.push_back(entry);
    });
    // The list ends at its first empty line: what follows is never read.
    if (check.entries.empty() || check.entries.back().kind == EntryKind::kEnd) {
        for (; !runtime.AtEnd(); runtime.ReadLine()) {
            ++check.unread_lines;
        }
    }
    runtime.CloseAll();

    std::vector<std::pair<std::string, std::vector<long>>> by_name;
    for (const CheckedEntry& entry : check.entries) {
        if (entry.staged.empty()) {
            continue;
        }
        check.missing += entry.missing ? 1 : 0;
        check.total_bytes += entry.bytes;
        const std::vector<std::string> resolved = platform::ResolveBelowRoot(entry.staged);
        const std::string key =
            platform::FoldCase(resolved.empty() ? entry.staged : resolved.back());
        const auto known = std::find_if(by_name.begin(), by_name.end(),
                                        [&](const auto& group) { return group.first == key; });
        if (known == by_name.end()) {
            by_name.push_back({key, {entry.line}});
        } else {
            known->second.push_back(entry.line);
        }
    }
    for (auto& [name, lines] : by_name) {
        if (lines.size() > 1) {
            check.same_staged_file.push_back(std::move(lines));
        }
    }
    return check;
}

}  // namespace velno::update
