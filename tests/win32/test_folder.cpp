#include "test_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/win32/text_conversion.h"

namespace velno::win32::testing {
namespace {

constexpr long long kTicksTo1970 = 116'444'736'000'000'000LL;

std::string ReadBytes(const std::string& path) {
    std::ostringstream bytes;
    bytes << std::ifstream(std::filesystem::path(Wide(path)), std::ios::binary).rdbuf();
    return bytes.str();
}

}  // namespace

bool RigDriveReady() {
    wchar_t label[MAX_PATH + 1] = {};
    return GetVolumeInformationW(L"E:\\", label, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr,
                                 0) &&
           std::wstring(label) == L"VELNO";
}

std::wstring Wide(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return L"\\\\?\\" + platform::win32::Utf8ToWide(path);
}

void MakeFolders(const std::string& path) {
    for (std::size_t at = path.find_first_of("\\/", 3); at != std::string::npos;
         at = path.find_first_of("\\/", at + 1)) {
        CreateDirectoryW(Wide(path.substr(0, at)).c_str(), nullptr);
    }
    CreateDirectoryW(Wide(path).c_str(), nullptr);
}

void WriteBytes(const std::string& path, const std::string& bytes, long long seconds) {
    MakeFolders(path.substr(0, path.find_last_of("\\/")));
    const HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    const unsigned long long ticks = kTicksTo1970 + seconds * 10'000'000ULL;
    const FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    EXPECT_TRUE(seconds == 0 || SetFileTime(file, nullptr, nullptr, &time)) << path;
    CloseHandle(file);
}

long long ModifiedNanoseconds(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    EXPECT_TRUE(GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) << path;
    const long long ticks = (static_cast<long long>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                            data.ftLastWriteTime.dwLowDateTime;
    return (ticks - kTicksTo1970) * 100;
}

std::map<std::string, std::string> Entries(const std::string& folder, bool attributes,
                                           const std::string& prefix) {
    std::map<std::string, std::string> entries;
    WIN32_FIND_DATAW found{};
    const HANDLE find = FindFirstFileW((Wide(folder) + L"\\*").c_str(), &found);
    for (bool more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileW(find, &found)) {
        const std::string name = platform::win32::WideToUtf8(found.cFileName);
        const std::string path = folder + "\\" + name;
        const std::string bits =
            attributes ? std::string("#").append(std::to_string(found.dwFileAttributes & 7)) : "";
        if (name == "." || name == "..") {
            continue;
        } else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            entries[prefix + name + "/"] = bits;
            entries.merge(Entries(path, attributes, prefix + name + "/"));
        } else {
            const long long ns = ModifiedNanoseconds(path), fraction = ns % 1'000'000'000;
            entries[prefix + name] =
                ReadBytes(path) + "@" + std::to_string(ns / 1'000'000'000) +
                (fraction ? std::string(".").append(std::to_string(fraction)) : "") + bits;
        }
    }
    FindClose(find);
    return entries;
}

void RemoveTree(const std::string& folder, const std::string& except) {
    // Deepest first: a folder's entries sort after it, and "" (the folder itself) first.
    auto entries = Entries(folder, false);
    entries.erase(except);
    entries.emplace("", "");
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        const std::string path = folder + "\\" + it->first;
        const bool is_folder = path.ends_with('/') || path.ends_with('\\');
        const std::wstring wide = Wide(path.substr(0, path.size() - (is_folder ? 1 : 0)));
        SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
        is_folder ? RemoveDirectoryW(wide.c_str()) : DeleteFileW(wide.c_str());
    }
}

}  // namespace velno::win32::testing
