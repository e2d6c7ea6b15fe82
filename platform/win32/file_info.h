#pragma once

// What the system knows of one file or folder, as the host's operations use
// it.

#include <optional>
#include <string>

#include "platform/contract.h"
#include "platform/win32/windows_api.h"

namespace velno::platform::win32 {

// The entry's attributes and times; none when nothing of that path exists.
// Other failures (access, drive not ready) throw PlatformError naming the
// operation and the logic's path.
std::optional<WIN32_FILE_ATTRIBUTE_DATA> QueryEntry(const char* operation, const std::string& path,
                                                    const std::wstring& native);

inline bool IsFolder(const WIN32_FILE_ATTRIBUTE_DATA& data) {
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A FILETIME as a DateTime, and back (to its 100 ns steps).
DateTime ToDateTime(const FILETIME& time);
FILETIME ToFiletime(DateTime time);

// The entry of an existing file; PlatformError when there is none or it is
// a folder.
WIN32_FILE_ATTRIBUTE_DATA ExistingFile(const char* operation, const std::string& path,
                                       const std::wstring& native);

// Deletes an existing file; with force also a read-only one, whose
// attribute is restored when the deletion fails.
void DeleteExistingFile(const char* operation, const std::string& path, bool force);

// The last-modified time of an existing file (not a folder).
DateTime FileModifiedTimeOf(const char* operation, const std::string& path);

}  // namespace velno::platform::win32
