#include "test_folder.h"

#include <algorithm>
#include <atomic>

#include "platform/win32/text_conversion.h"

namespace velno::win32::testing {

using platform::win32::Utf8ToWide;
using platform::win32::WideToUtf8;

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
        RemoveTree(L"\\\\?\\" + Wide(folder_));
    }
}

std::wstring Wide(const std::string& path) { return Utf8ToWide(path); }

void WriteBytes(const std::string& path, const std::string& bytes) {
    const HANDLE file = CreateFileW((L"\\\\?\\" + Wide(path)).c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    CloseHandle(file);
}

std::string ReadBytes(const std::string& path) {
    const HANDLE file = CreateFileW((L"\\\\?\\" + Wide(path)).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
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
    const HANDLE file = CreateFileW((L"\\\\?\\" + Wide(path)).c_str(), FILE_WRITE_ATTRIBUTES, 0,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    const FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &time));
    CloseHandle(file);
}

unsigned long long ModifiedTicks(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW((L"\\\\?\\" + Wide(path)).c_str(), GetFileExInfoStandard, &data)) {
        return 0;
    }
    return (static_cast<unsigned long long>(data.ftLastWriteTime.dwHighDateTime) << 32) |
           data.ftLastWriteTime.dwLowDateTime;
}

DWORD Attributes(const std::string& path) {
    return GetFileAttributesW((L"\\\\?\\" + Wide(path)).c_str());
}

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW entry{};
    const HANDLE find = FindFirstFileW((L"\\\\?\\" + Wide(folder) + L"\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        const std::wstring name = entry.cFileName;
        if (name != L"." && name != L"..") {
            names.push_back(WideToUtf8(name));
        }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

void RemoveTree(const std::wstring& native) {
    WIN32_FIND_DATAW entry{};
    const HANDLE find = FindFirstFileW((native + L"\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") {
                continue;
            }
            const std::wstring path = native + L"\\" + name;
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(find, &entry));
        FindClose(find);
    }
    SetFileAttributesW(native.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryW(native.c_str());
}

}  // namespace velno::win32::testing
