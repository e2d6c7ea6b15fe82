#include "app/check/report.h"

#include <ostream>

#include "update/messages.h"

namespace velno::check {

using update::CheckedEntry;
using update::EntryKind;
using update::kPositionFileNotFound;
using update::LineEnds;
using update::MissingFileMessage;

namespace {

const char* LineEndsText(LineEnds ends) {
    switch (ends) {
        case LineEnds::kCrLf:
            return "CR LF";
        case LineEnds::kCr:
            return "CR";
        case LineEnds::kLf:
            return "LF";
        case LineEnds::kMixed:
            return "mixed";
        case LineEnds::kNone:
            break;
    }
    return "none (a single line)";
}

}  // namespace

void PrintPackageCheck(const update::PackageCheck& check, std::ostream& out) {
    if (!check.position_file_found) {
        out << "mtmp\\position.txt is missing: the updater would show \"" << kPositionFileNotFound
            << "\"\n";
        return;
    }
    out << "position list: " << check.entries.size() << " entries, line ends "
        << LineEndsText(check.line_ends) << "\n";
    for (const CheckedEntry& entry : check.entries) {
        out << "line " << entry.line << ": ";
        if (entry.kind == EntryKind::kEnd) {
            out << "empty line, the end of the list\n";
            continue;
        }
        if (entry.target.empty()) {
            out << (entry.kind == EntryKind::kDelete ? "delete" : "install") << " nothing, \""
                << entry.text << "\" names a folder\n";
            continue;
        }
        if (entry.kind == EntryKind::kDelete) {
            out << "delete " << entry.target;
        } else {
            out << "install " << entry.target << " from mtmp\\" << entry.staged;
            if (entry.missing) {
                out << ", MISSING: the updater would show \"" << MissingFileMessage(entry.staged)
                    << "\"";
            } else {
                out << " (" << entry.bytes << " bytes)";
            }
        }
        if (entry.clamped) {
            out << "; \"..\" would leave the drive and stays at its root";
        }
        if (entry.trailing_blanks) {
            out << "; a name ends in blanks or dots, which Windows drops";
        }
        out << "\n";
    }
    if (check.unread_lines > 0) {
        out << check.unread_lines << " lines after the empty line are never read\n";
    }
    for (const std::vector<long>& lines : check.same_staged_file) {
        out << "lines";
        for (const long line : lines) {
            out << " " << line;
        }
        out << " install the same staged file\n";
    }
    out << "at most " << check.total_bytes << " bytes to copy\n";
    if (check.missing > 0) {
        out << check.missing << (check.missing == 1 ? " staged file" : " staged files")
            << " missing\n";
    }
}

}  // namespace velno::check
