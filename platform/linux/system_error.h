#pragma once

// Failures of system calls, reported the way every platform operation fails.

#include <string>
#include <vector>

namespace velno::platform::linux_host {

// Throws PlatformError with the operation, the path texts the caller passed
// and the system's message for the error number.
[[noreturn]] void ThrowSystemError(const std::string& operation, std::vector<std::string> paths,
                                   int error_number);

// Throws PlatformError saying that the instrument's volume is no longer the
// one mounted at its mount point.
[[noreturn]] void ThrowVolumeGone(const std::string& operation, std::vector<std::string> paths);

}  // namespace velno::platform::linux_host
