#include "platform/win32/native_path.h"

#include <optional>
#include <vector>

#include "platform/path_text.h"
#include "platform/win32/text_conversion.h"

namespace velno::platform::win32 {

namespace {

constexpr std::string_view kExtendedPrefix = "\\\\?\\";
constexpr std::string_view kExtendedUncPrefix = "\\\\?\\UNC\\";

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

struct SplitPath {
    std::string root;  // "E:" or "UNC\server\share"
    std::string_view rest;
};

// Takes the next component of a UNC path: the text up to a separator.
std::string_view TakeComponent(std::string_view& text) {
    std::size_t end = 0;
    while (end < text.size() && !IsSeparator(text[end])) {
        ++end;
    }
    const std::string_view part = text.substr(0, end);
    text.remove_prefix(end < text.size() ? end + 1 : end);
    return part;
}

std::optional<SplitPath> Split(std::string_view path) {
    if (path.substr(0, kExtendedUncPrefix.size()) == kExtendedUncPrefix) {
        path.remove_prefix(kExtendedUncPrefix.size());
    } else if (path.substr(0, kExtendedPrefix.size()) == kExtendedPrefix) {
        path.remove_prefix(kExtendedPrefix.size());
    } else if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        path.remove_prefix(2);
    } else if (path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == ':') {
        return SplitPath{std::string(path.substr(0, 2)), path.substr(2)};
    } else {
        return std::nullopt;
    }
    if (path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == ':') {
        return SplitPath{std::string(path.substr(0, 2)), path.substr(2)};
    }
    const std::string_view server = TakeComponent(path);
    const std::string_view share = TakeComponent(path);
    if (server.empty() || share.empty()) {
        return std::nullopt;
    }
    return SplitPath{"UNC\\" + std::string(server) + "\\" + std::string(share), path};
}

std::wstring Join(const SplitPath& split) {
    std::string native = std::string(kExtendedPrefix) + split.root + "\\";
    const std::vector<std::string> components = ResolveBelowRoot(split.rest);
    for (std::size_t i = 0; i < components.size(); ++i) {
        native += (i == 0 ? "" : "\\") + components[i];
    }
    return Utf8ToWide(native);
}

}  // namespace

std::wstring NativePath(const char* operation, std::string_view path) {
    // A name never holds a NUL; the system would take the path as ending
    // there and act on another file than the one named.
    if (path.find('\0') != std::string_view::npos) {
        ThrowError(operation, {std::string(path)}, ERROR_INVALID_NAME);
    }
    if (std::optional<SplitPath> split = Split(path)) {
        return Join(*split);
    }
    // A relative path: made absolute against the current folder first.
    const std::wstring wide = Utf8ToWide(path);
    const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    std::wstring full(size, L'\0');
    const DWORD length = size == 0 ? 0 : GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size) {
        ThrowError(operation, {std::string(path)}, ERROR_BAD_PATHNAME);
    }
    full.resize(length);
    const std::string absolute = WideToUtf8(full);
    if (std::optional<SplitPath> split = Split(absolute)) {
        return Join(*split);
    }
    ThrowError(operation, {std::string(path)}, ERROR_BAD_PATHNAME);
}

std::string LogicPath(std::wstring_view native) {
    std::string path = WideToUtf8(native);
    if (path.substr(0, kExtendedUncPrefix.size()) == kExtendedUncPrefix) {
        return "\\\\" + path.substr(kExtendedUncPrefix.size());
    }
    if (path.substr(0, kExtendedPrefix.size()) == kExtendedPrefix) {
        return path.substr(kExtendedPrefix.size());
    }
    return path;
}

}  // namespace velno::platform::win32
