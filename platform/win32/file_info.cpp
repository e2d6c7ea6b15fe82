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

// FILETIME counts 100 ns steps from 1601-01-01, DateTime nanoseconds from
// 1970-01-01.
constexpr std::int64_t kTicksFrom1601To1970 = 116444736000000000;

DateTime ToDateTime(const FILETIME& time) {
    const auto ticks = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
    return DateTime(std::chrono::nanoseconds((ticks - kTicksFrom1601To1970) * 100));
}

FILETIME ToFiletime(DateTime time) {
    const auto ticks =
        static_cast<std::uint64_t>(time.time_since_epoch().count() / 100 + kTicksFrom1601To1970);
    return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
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

WIN32_FILE_ATTRIBUTE_DATA ExistingFile(const char* operation, const std::string& path,
                                       const std::wstring& native) {
    const std::optional<WIN32_FILE_ATTRIBUTE_DATA> entry = QueryEntry(operation, path, native);
    if (!entry || IsFolder(*entry)) {
        ThrowError(operation, {path}, ERROR_FILE_NOT_FOUND);
    }
    return *entry;
}

void DeleteExistingFile(const char* operation, const std::string& path, bool force) {
    const std::wstring native = NativePath(operation, path);
    const DWORD attributes = ExistingFile(operation, path, native).dwFileAttributes;
    const bool clear_read_only = force && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (clear_read_only &&
        !SetFileAttributesW(native.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY})) {
        ThrowLastError(operation, {path});
    }
    if (!DeleteFileW(native.c_str())) {
        const DWORD error = GetLastError();
        if (clear_read_only) {
            SetFileAttributesW(native.c_str(), attributes);  // as it was
        }
        ThrowError(operation, {path}, error);
    }
}

}  // namespace velno::platform::win32
