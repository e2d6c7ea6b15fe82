#pragma once

// Pure text helpers on the logic's paths, shared by every host.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velno::platform {

// "\" and "/" both separate components.
constexpr bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The last component of a path; empty when the path ends in a separator.
std::string GetFileName(std::string_view path);

// Everything before the last component, without the separators that end it,
// except that a lone leading separator stays ("\a.bin" gives "\").
std::string GetParentFolderName(std::string_view path);

// Upper-case hexadecimal, no leading zeros, negative values as their 32-bit
// pattern: 0 -> "0", 255 -> "FF", -1 -> "FFFFFFFF".
std::string SerialNumberText(std::int32_t serial);

// Resolves the text of a path below a root the way Windows resolves a path
// on a drive: "\" and "/" separate, repeated separators collapse, "." is
// dropped and ".." removes the previous component but never climbs above
// the root. Every other component loses its trailing blanks and dots, as
// Windows' file functions drop them, and is left out when nothing remains.
// The result lists the components below the root, in order.
std::vector<std::string> ResolveBelowRoot(std::string_view rest);

// Case-insensitive (ASCII letters) comparison, as FAT and Windows compare
// names.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

// The text with its ASCII letters in upper case: one spelling for names that
// FAT and Windows take as the same.
std::string FoldCase(std::string_view text);

// Matches a name against a pattern where "*" stands for any run of
// characters (also an empty one) and "?" for one character, ignoring the
// case of ASCII letters.
bool WildcardMatch(std::string_view pattern, std::string_view name);

// A temporary copy's name, the same on both hosts: this prefix, a count and
// ".tmp". Earlier versions wrote "~velno-copy-" (Windows) or ".velno-copy-"
// (Linux), the process's number, "-", a count and ".tmp".
inline constexpr std::string_view kTemporaryCopyPrefix = "~velno-copy-";
// A pattern that matches every temporary copy's name, and a few others that
// IsTemporaryCopy tells apart.
inline constexpr std::string_view kTemporaryCopyPattern = "?velno-copy-*.tmp";
bool IsTemporaryCopy(std::string_view name);

}  // namespace velno::platform
