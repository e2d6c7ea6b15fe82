#include "test_folder.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/win32/text_conversion.h"

namespace velno::win32::testing {

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
            const FILETIME& time = found.ftLastWriteTime;  // 100 ns steps since 1601
            const long long ticks =
                (static_cast<long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
            entries[prefix + name] =
                host_test::Described(host_test::ReadFile(Wide(path)),
                                     platform::DateTime(std::chrono::nanoseconds(
                                         (ticks - 116'444'736'000'000'000LL) * 100))) +
                bits;
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
