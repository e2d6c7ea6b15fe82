#pragma once

// Files on the rig's drives through the Win32 API itself, not the code
// under test. Paths take "\" or "/" between names.

#include <map>
#include <string>

#include "platform/win32/windows_api.h"

namespace velno::win32::testing {

// True when drive E: is the rig's instrument volume (label VELNO).
bool RigDriveReady();
// The path's extended-length form, "\\?\E:\...".
std::wstring Wide(std::string path);
// Writes the file, making its folders; seconds since 1970, 0: now.
void WriteBytes(const std::string& path, const std::string& bytes, long long seconds = 0);
void MakeFolders(const std::string& path);
// Nanoseconds since 1970.
long long ModifiedNanoseconds(const std::string& path);
// Every entry below the folder: "a/b/" -> "" for a folder, "a/b" ->
// "content@seconds[.nanoseconds]" for a file, with "#" and the read-only,
// hidden and system bits after each where asked; `prefix` before each path.
std::map<std::string, std::string> Entries(const std::string& folder, bool attributes,
                                           const std::string& prefix = "");
// Removes a folder and everything in it but the entry `except`, read-only
// entries included.
void RemoveTree(const std::string& folder, const std::string& except = "");

}  // namespace velno::win32::testing
