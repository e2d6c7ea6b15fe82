#pragma once

// Copying a staged file onto the instrument so that the destination is never
// half-written: the bytes go to a temporary file in the destination folder,
// which replaces the destination only when complete and on the device.

#include <sys/stat.h>

#include <cstddef>
#include <string>

#include "platform/contract.h"

namespace velno::platform::linux_host {

constexpr std::size_t kCopyChunkBytes = std::size_t{1} << 20;

// The paths of one copy: native ones to work on, the caller's texts for
// the error report.
struct CopyPaths {
    std::string native_source;
    std::string native_destination;
    std::string source_text;
    std::string destination_text;
};

// Writes the source to a temporary name in the destination folder in chunks
// (calling between_chunks between them), flushes it, renames it over the
// destination, gives it the source's modification time and flushes the
// folder. When the volume cannot hold that time exactly, the time is
// rounded up to the next even second, so that the copy never looks older
// than its source. On failure the temporary file is removed and
// PlatformError says what failed.
void CopyFileSafely(const CopyPaths& paths, bool overwrite, const ChunkCallback& between_chunks);

// The smallest whole even second at or after the time.
timespec RoundUpToEvenSecond(timespec time);

}  // namespace velno::platform::linux_host
