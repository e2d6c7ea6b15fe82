#include "test_folder.h"

#include <algorithm>
#include <atomic>
#include <functional>

#include "platform/win32/text_conversion.h"

namespace velno::win32::testing {
namespace {

// Calls the visitor for each entry of the folder but "." and "..".
void ForEachEntry(const std::wstring& native,
                  const std::function<void(const WIN32_FIND_DATAW&)>& visit) {
    WIN32_FIND_DATAW entry{};
    const HANDLE find = FindFirstFileW((native + L"\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        if (std::wstring(entry.cFileName) != L"." && std::wstring(entry.cFileName) != L"..") {
            visit(entry);
        }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
}

HANDLE Open(const std::string& path, DWORD access, DWORD disposition) {
    return CreateFileW(Wide(path).c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

// Removes a folder and everything in it, read-only entries included.
void RemoveTree(const std::wstring& native) {
    ForEachEntry(native, [&native](const WIN32_FIND_DATAW& entry) {
        const std::wstring path = native + L"\\" + entry.cFileName;
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            RemoveTree(path);
        } else {
            DeleteFileW(path.c_str());
        }
    });
    SetFileAttributesW(native.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryW(native.c_str());
}

bool RigDriveReady() {
    wchar_t label[MAX_PATH + 1] = {};
    return GetVolumeInformationW(L"E:\\", label, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr,
                                 0) &&
           std::wstring(label) == L"VELNO";
}

void OnRigDrive::SetUp() {
    if (!RigDriveReady()) {
        GTEST_SKIP() << "drive E: is not the rig's VELNO volume (scripts/win32/prepare-prefix.sh)";
    }
    static std::atomic<int> counter{0};
    name_ = "velno-test-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
    folder_ = "E:\\" + name_;
    ASSERT_TRUE(CreateDirectoryW(Wide(folder_).c_str(), nullptr));
}

void OnRigDrive::TearDown() {
    if (!folder_.empty()) {
        RemoveTree(Wide(folder_));
    }
}

std::wstring Wide(const std::string& path) {
    return L"\\\\?\\" + platform::win32::Utf8ToWide(path);
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    const HANDLE file = Open(path, GENERIC_WRITE, CREATE_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    CloseHandle(file);
}

std::string ReadBytes(const std::string& path) {
    const HANDLE file = Open(path, GENERIC_READ, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE) {
        return "<missing>";
    }
    std::string bytes;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) {
        bytes.append(buffer, read);
    }
    CloseHandle(file);
    return bytes;
}

void SetModifiedTicks(const std::string& path, unsigned long long ticks) {
    const HANDLE file = Open(path, FILE_WRITE_ATTRIBUTES, OPEN_EXISTING);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    const FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &time));
    CloseHandle(file);
}

unsigned long long ModifiedTicks(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) {
        return 0;
    }
    return (static_cast<unsigned long long>(data.ftLastWriteTime.dwHighDateTime) << 32) |
           data.ftLastWriteTime.dwLowDateTime;
}

DWORD Attributes(const std::string& path) { return GetFileAttributesW(Wide(path).c_str()); }

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    ForEachEntry(Wide(folder), [&names](const WIN32_FIND_DATAW& entry) {
        names.push_back(platform::win32::WideToUtf8(entry.cFileName));
    });
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace velno::win32::testing
