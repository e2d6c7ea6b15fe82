#pragma once

// UTF-8 at the contract, UTF-16 for the Win32 calls, and the system's own
// text for an error code.

#include <string>
#include <string_view>
#include <vector>

#include "platform/errors.h"
#include "platform/win32/windows_api.h"

namespace velno::platform::win32 {

std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);

// The system's message for an error code, as UTF-8, without the line end
// FormatMessageW adds; the code in hexadecimal when the system has none.
std::string SystemMessage(DWORD error);

// PlatformError for an operation that failed with that error code.
[[noreturn]] void ThrowError(const char* operation, std::vector<std::string> paths, DWORD error);

// PlatformError with the calling thread's last error.
[[noreturn]] void ThrowLastError(const char* operation, std::vector<std::string> paths);

}  // namespace velno::platform::win32
