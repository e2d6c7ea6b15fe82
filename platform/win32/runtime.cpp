#include "platform/win32/runtime.h"

#include <algorithm>

#include "platform/path_text.h"
#include "platform/win32/file_info.h"
#include "platform/win32/native_path.h"
#include "platform/win32/text_conversion.h"
#include "platform/win32/unique_handle.h"

namespace velno::platform::win32 {

namespace {

constexpr DWORD kContractAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
// The bits SetAttributes leaves as they are.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

class FindHandle {
public:
    explicit FindHandle(HANDLE handle) : handle_(handle) {}
    ~FindHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) {
            FindClose(handle_);
        }
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

DWORD ExistingAttributes(const char* operation, const std::string& path) {
    const auto entry = QueryEntry(operation, path, NativePath(operation, path));
    if (!entry) {
        ThrowError(operation, {path}, ERROR_FILE_NOT_FOUND);
    }
    return entry->dwFileAttributes;
}

// An open file read with ReadFile; the handle closes with it.
class FileSource : public ByteSource {
public:
    FileSource(HANDLE file, std::string path) : file_(file), path_(std::move(path)) {}

    std::size_t Read(const char* operation, std::span<char> buffer) override {
        DWORD read = 0;
        const auto size = static_cast<DWORD>(std::min<std::size_t>(buffer.size(), 1u << 30));
        if (!ReadFile(file_.Get(), buffer.data(), size, &read, nullptr)) {
            ThrowLastError(operation, {path_});
        }
        return read;
    }

    void Rewind(const char* operation) override {
        if (!SetFilePointerEx(file_.Get(), LARGE_INTEGER{}, nullptr, FILE_BEGIN)) {
            ThrowLastError(operation, {path_});
        }
    }

private:
    UniqueHandle file_;
    std::string path_;
};

}  // namespace

std::string Win32Runtime::ApplicationFolder() {
    std::wstring module(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, module.data(), static_cast<DWORD>(module.size()));
        if (length == 0) {
            ThrowLastError("ApplicationFolder", {});
        }
        if (length < module.size()) {
            module.resize(length);
            break;
        }
        module.resize(module.size() * 2);
    }
    // The program's own name goes; the folder keeps no trailing separator,
    // also at a drive's root ("C:\u.exe" -> "C:").
    return GetParentFolderName(LogicPath(module));
}

std::vector<FolderEntry> Win32Runtime::ListFolder(
    const std::string& folder, const std::function<bool(std::string_view)>& wanted) {
    std::wstring search = NativePath("FirstMatch", folder);
    search += (search.back() == L'\\' ? L"*" : L"\\*");

    // The folder's whole listing, matched by the caller against the long
    // names only: the system's own pattern matching would also match the
    // short 8.3 names ("*.mem" would find "x.memo" through "X~1.MEM").
    WIN32_FIND_DATAW found{};
    FindHandle find(FindFirstFileExW(search.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                     nullptr, 0));
    if (find.Get() == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            return {};
        }
        ThrowError("FirstMatch", {folder}, error);
    }
    std::vector<FolderEntry> entries;
    do {
        FolderEntry entry{.name = WideToUtf8(found.cFileName)};
        if (wanted(entry.name)) {
            entry.regular_file = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
            entry.attributes = found.dwFileAttributes & kContractAttributes;
            entries.push_back(std::move(entry));
        }
    } while (FindNextFileW(find.Get(), &found));
    if (const DWORD error = GetLastError(); error != ERROR_NO_MORE_FILES) {
        ThrowError("FirstMatch", {folder}, error);
    }
    return entries;
}

unsigned Win32Runtime::GetAttributes(const std::string& path) {
    return ExistingAttributes("GetAttributes", path) & kContractAttributes;
}

void Win32Runtime::SetAttributes(const std::string& path, unsigned bits) {
    const DWORD current = ExistingAttributes("SetAttributes", path);
    DWORD replaced = (current & kKeptAttributes) | (bits & kContractAttributes);
    if (replaced == 0) {
        replaced = FILE_ATTRIBUTE_NORMAL;
    }
    if (!SetFileAttributesW(NativePath("SetAttributes", path).c_str(), replaced)) {
        ThrowLastError("SetAttributes", {path});
    }
}

void Win32Runtime::RemoveFile(const std::string& path) {
    // The start-up settings must go for the instrument to start with factory
    // settings, so a read-only file is removed too, as on every host.
    DeleteExistingFile("RemoveFile", path, true);
}

DateTime Win32Runtime::FileModifiedTime(const std::string& path) {
    return FileModifiedTimeOf("FileModifiedTime", path);
}

std::unique_ptr<ByteSource> Win32Runtime::OpenForReading(const std::string& path) {
    // Without backup semantics a folder does not open: the system refuses
    // it with "Access is denied".
    HANDLE file =
        CreateFileW(NativePath("OpenTextInput", path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                    nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        ThrowLastError("OpenTextInput", {path});
    }
    return std::make_unique<FileSource>(file, path);
}

bool Win32Runtime::FlushDrive(const std::string& drive_path) {
    // Every copied file was flushed and renamed with write-through already;
    // what else the run changed (attributes, removed files, new folders)
    // lies in the file system's own structures, which only a flush of the
    // whole volume writes out.
    if (drive_path.size() != 2 || drive_path[1] != ':') {
        return false;
    }
    // A drive that has gone fails the flush rather than skipping it: the
    // completion screen must not follow it.
    if (GetFileAttributesW(NativePath("FlushDrive", drive_path + "\\").c_str()) ==
        INVALID_FILE_ATTRIBUTES) {
        ThrowError("FlushDrive", {drive_path}, GetLastError());
    }
    // The volume opened for writing is flushed, which needs administrator
    // rights. Without them (or where the volume refuses it), the drive's
    // root folder opened for writing is: for its root folder, Windows' FAT
    // driver flushes the whole volume (every file and folder, the FAT, then
    // the device's cache), as it does for the volume, and a standard user
    // may open it. (It flushes nothing for any other folder.)
    const std::wstring volume = L"\\\\.\\" + Utf8ToWide(drive_path);
    const std::wstring root = NativePath("FlushDrive", drive_path + "\\");
    const std::pair<const std::wstring*, DWORD> ways[] = {{&volume, GENERIC_READ | GENERIC_WRITE},
                                                          {&root, GENERIC_WRITE}};
    DWORD error = ERROR_SUCCESS;
    for (const auto& [path, access] : ways) {
        UniqueHandle handle(CreateFileW(
            path->c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (handle.Valid() && FlushFileBuffers(handle.Get())) {
            return true;
        }
        error = GetLastError();
    }
    // Refused (also while another program holds the root folder without
    // sharing it): the screen must not claim that all data is written.
    if (error == ERROR_ACCESS_DENIED || error == ERROR_PRIVILEGE_NOT_HELD ||
        error == ERROR_SHARING_VIOLATION || error == ERROR_INVALID_FUNCTION ||
        error == ERROR_NOT_SUPPORTED) {
        return false;
    }
    ThrowError("FlushDrive", {drive_path}, error);
}

}  // namespace velno::platform::win32
