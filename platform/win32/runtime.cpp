#include "platform/win32/runtime.h"

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

std::string ReadWholeFile(const char* operation, const std::string& path) {
    UniqueHandle file(CreateFileW(NativePath(operation, path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.Valid()) {
        ThrowLastError(operation, {path});
    }
    std::string bytes;
    char buffer[64 * 1024];
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr)) {
            ThrowLastError(operation, {path});
        }
        if (read == 0) {
            return bytes;
        }
        bytes.append(buffer, read);
    }
}

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

std::string Win32Runtime::FirstMatch(const std::string& pattern) {
    matches_.clear();
    next_match_ = 0;
    const std::string name_pattern = GetFileName(pattern);
    std::wstring search = NativePath("FirstMatch", GetParentFolderName(pattern));
    search += (search.back() == L'\\' ? L"*" : L"\\*");

    // The folder's whole listing, matched here against the long names only:
    // the system's own pattern matching would also match the short 8.3
    // names ("*.mem" would find "x.memo" through "X~1.MEM").
    WIN32_FIND_DATAW entry{};
    FindHandle find(FindFirstFileExW(search.c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch,
                                     nullptr, 0));
    if (find.Get() == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            return {};
        }
        ThrowError("FirstMatch", {pattern}, error);
    }
    constexpr DWORD kNeverMatch =
        FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    do {
        const std::string name = WideToUtf8(entry.cFileName);
        if ((entry.dwFileAttributes & kNeverMatch) == 0 && WildcardMatch(name_pattern, name)) {
            matches_.push_back(name);
        }
    } while (FindNextFileW(find.Get(), &entry));
    if (const DWORD error = GetLastError(); error != ERROR_NO_MORE_FILES) {
        matches_.clear();
        ThrowError("FirstMatch", {pattern}, error);
    }
    return NextMatch();
}

std::string Win32Runtime::NextMatch() {
    return next_match_ < matches_.size() ? matches_[next_match_++] : std::string();
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

void Win32Runtime::OpenTextInput(const std::string& path) {
    input_.Open(ReadWholeFile("OpenTextInput", path));
}

TextInput& Win32Runtime::OpenInput(const char* operation) {
    if (!input_.IsOpen()) {
        ThrowError(operation, {}, ERROR_INVALID_HANDLE);
    }
    return input_;
}

std::string Win32Runtime::ReadLine() { return OpenInput("ReadLine").ReadLine(); }

bool Win32Runtime::AtEnd() { return OpenInput("AtEnd").AtEnd(); }

void Win32Runtime::Rewind() { OpenInput("Rewind").Rewind(); }

void Win32Runtime::CloseAll() { input_.Close(); }

void Win32Runtime::FlushDrive(const std::string& drive_path) {
    // Every copied file was flushed and renamed with write-through already;
    // flushing the volume also writes the file system's own structures.
    // Opening a volume for writing needs administrator rights: without them
    // (or on a file system that cannot flush a volume) this step is left
    // out, which the per-file flushes make safe.
    if (drive_path.size() != 2 || drive_path[1] != ':') {
        return;
    }
    // A drive that has gone fails the flush rather than skipping it: the
    // completion screen must not follow it.
    if (GetFileAttributesW(NativePath("FlushDrive", drive_path + "\\").c_str()) ==
        INVALID_FILE_ATTRIBUTES) {
        ThrowError("FlushDrive", {drive_path}, GetLastError());
    }
    const std::wstring volume = L"\\\\.\\" + Utf8ToWide(drive_path);
    UniqueHandle handle(CreateFileW(volume.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                    nullptr));
    if (!handle.Valid()) {
        const DWORD error = GetLastError();
        if (error == ERROR_ACCESS_DENIED || error == ERROR_PRIVILEGE_NOT_HELD) {
            return;
        }
        ThrowError("FlushDrive", {drive_path}, error);
    }
    if (!FlushFileBuffers(handle.Get())) {
        const DWORD error = GetLastError();
        if (error == ERROR_ACCESS_DENIED || error == ERROR_INVALID_FUNCTION ||
            error == ERROR_NOT_SUPPORTED) {
            return;
        }
        ThrowError("FlushDrive", {drive_path}, error);
    }
}

}  // namespace velno::platform::win32
