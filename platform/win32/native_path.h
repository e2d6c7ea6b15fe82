#pragma once

// Turns a path of the logic ("E:\system\..\x", "C:\Upd\mtmp\a.bin",
// "\\server\share\dir") into the extended-length form the wide Win32 calls
// take: "\\?\E:\x", "\\?\UNC\server\share\dir". The part below the drive or
// share is resolved lexically and never climbs above it, so a path built
// from a position-list line stays on the drive. The prefix lifts the length
// limit of MAX_PATH and makes device names such as CON ordinary file names.

#include <string>
#include <string_view>

namespace velno::platform::win32 {

// Throws PlatformError naming the operation when the path has neither a
// drive nor a share and cannot be made absolute.
std::wstring NativePath(const char* operation, std::string_view path);

// The logic's form of a path the system gave: without the extended-length
// prefix ("\\?\C:\x" -> "C:\x", "\\?\UNC\s\d" -> "\\s\d").
std::string LogicPath(std::wstring_view native);

}  // namespace velno::platform::win32
