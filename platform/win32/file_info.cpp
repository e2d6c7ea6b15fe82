#include "platform/win32/file_info.h"

#include <cstdint>

#include "platform/win32/native_path.h"
#include "platform/win32/text_conversion.h"

namespace velno::platform::win32 {

std::optional<WIN32_FILE_ATTRIBUTE_DATA> QueryEntry(const char* operation, const std::string& path,
                                                    const std::wstring& native) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (GetFileAttributesExW(native.c_str(), GetFileExInfoStandard, &data)) {
        return data;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
        error == ERROR_INVALID_NAME || error == ERROR_BAD_NETPATH) {
        return std::nullopt;
    }
    ThrowError(operation, {path}, error);
}

DateTime ToDateTime(const FILETIME& time) {
    // FILETIME counts 100 ns steps from 1601-01-01; the system clock counts
    // from 1970-01-01.
    constexpr std::int64_t kTicksFrom1601To1970 = 116444736000000000;
    const std::int64_t ticks =
        static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) |
                                  time.dwLowDateTime) -
        kTicksFrom1601To1970;
    using Ticks = std::chrono::duration<std::int64_t, std::ratio<1, 10'000'000>>;
    return DateTime(std::chrono::duration_cast<DateTime::duration>(Ticks(ticks)));
}

DateTime FileModifiedTimeOf(const char* operation, const std::string& path) {
    const std::optional<WIN32_FILE_ATTRIBUTE_DATA> entry =
        QueryEntry(operation, path, NativePath(operation, path));
    if (!entry) {
        ThrowError(operation, {path}, ERROR_FILE_NOT_FOUND);
    }
    if (IsFolder(*entry)) {
        ThrowError(operation, {path}, ERROR_FILE_NOT_FOUND);
    }
    return ToDateTime(entry->ftLastWriteTime);
}

}  // namespace velno::platform::win32
