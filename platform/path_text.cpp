#include "platform/path_text.h"

#include <cstdio>

namespace velno::platform {

namespace {

char FoldCase(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::size_t LastSeparator(std::string_view path) {
    for (std::size_t i = path.size(); i > 0; --i) {
        if (IsSeparator(path[i - 1])) {
            return i - 1;
        }
    }
    return std::string_view::npos;
}

}  // namespace

std::string GetFileName(std::string_view path) {
    const std::size_t sep = LastSeparator(path);
    return std::string(sep == std::string_view::npos ? path : path.substr(sep + 1));
}

std::string GetParentFolderName(std::string_view path) {
    std::size_t end = LastSeparator(path);
    if (end == std::string_view::npos) {
        return {};
    }
    while (end > 0 && IsSeparator(path[end - 1])) {
        --end;
    }
    if (end == 0) {
        return std::string(path.substr(0, 1));
    }
    return std::string(path.substr(0, end));
}

std::string SerialNumberText(std::int32_t serial) {
    char text[16];
    std::snprintf(text, sizeof text, "%X",
                  static_cast<unsigned>(static_cast<std::uint32_t>(serial)));
    return text;
}

std::vector<std::string> ResolveBelowRoot(std::string_view rest) {
    std::vector<std::string> components;
    std::size_t start = 0;
    while (start <= rest.size()) {
        std::size_t end = start;
        while (end < rest.size() && !IsSeparator(rest[end])) {
            ++end;
        }
        const std::string_view part = rest.substr(start, end - start);
        if (part == "..") {
            if (!components.empty()) {
                components.pop_back();
            }
        } else if (part != ".") {
            // Windows drops a component's trailing blanks and dots; one that
            // is left empty ("...", ". ") names nothing and is passed over.
            const std::size_t kept = part.find_last_not_of(" .");
            if (kept != std::string_view::npos) {
                components.emplace_back(part.substr(0, kept + 1));
            }
        }
        start = end + 1;
    }
    return components;
}

std::string FoldCase(std::string_view text) {
    std::string folded(text);
    for (char& c : folded) {
        c = FoldCase(c);
    }
    return folded;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldCase(a[i]) != FoldCase(b[i])) {
            return false;
        }
    }
    return true;
}

bool WildcardMatch(std::string_view pattern, std::string_view name) {
    // Greedy matching with one backtrack point per "*": linear in practice.
    std::size_t p = 0;
    std::size_t n = 0;
    std::size_t star = std::string_view::npos;
    std::size_t resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == '?' || FoldCase(pattern[p]) == FoldCase(name[n]))) {
            ++p;
            ++n;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

bool IsTemporaryCopy(std::string_view name) {
    return (name.starts_with('~') || name.starts_with('.')) &&
           name.substr(1).starts_with(kTemporaryCopyPrefix.substr(1)) && name.ends_with(".tmp");
}

}  // namespace velno::platform
