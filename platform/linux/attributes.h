#pragma once

// The read-only, hidden and system bits of files and folders. On a kernel
// FAT mount they are the volume's own attribute bits (FAT ioctls); on any
// other file system only read-only exists, as the absence of every write
// permission bit, and hidden and system read as 0 and are never set.

#include <string>

namespace velno::platform::linux_host {

// Both take the native path and the caller's path text for the error report.
unsigned ReadAttributes(const std::string& native, const std::string& text,
                        const std::string& operation);
void WriteAttributes(const std::string& native, const std::string& text, unsigned bits);

}  // namespace velno::platform::linux_host
