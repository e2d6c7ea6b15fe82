#include <atomic>
#include <vector>

#include "platform/win32/file_info.h"
#include "platform/win32/file_system.h"
#include "platform/win32/native_path.h"
#include "platform/win32/text_conversion.h"
#include "platform/win32/unique_handle.h"

namespace velno::platform::win32 {

namespace {

constexpr const char* kOperation = "CopyFile";

// A name for the temporary file beside the destination, unique in this
// process and among processes.
std::wstring TemporaryPath(const std::wstring& native_destination) {
    static std::atomic<unsigned> counter{0};
    const std::size_t folder_end = native_destination.rfind(L'\\');
    return native_destination.substr(0, folder_end + 1) + L"~velno-copy-" +
           std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter) + L".tmp";
}

// Removes the temporary file unless the copy got to rename it into place.
class TemporaryFile {
public:
    explicit TemporaryFile(std::wstring path) : path_(std::move(path)) {}
    ~TemporaryFile() {
        handle.Close();
        if (!kept_) {
            DeleteFileW(path_.c_str());
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    const std::wstring& Path() const { return path_; }
    void Keep() { kept_ = true; }

    UniqueHandle handle;

private:
    std::wstring path_;
    bool kept_ = false;
};

}  // namespace

void CopyFileSafely(const std::string& source, const std::string& destination, bool overwrite,
                    const ChunkCallback& between_chunks) {
    const std::vector<std::string> paths{source, destination};
    const std::wstring from = NativePath(kOperation, source);
    const std::wstring to = NativePath(kOperation, destination);

    // Refused before anything is written: a folder in the destination's
    // place, an existing destination without overwrite, a read-only one.
    if (const auto existing = QueryEntry(kOperation, destination, to)) {
        if (IsFolder(*existing) || (existing->dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
            ThrowError(kOperation, paths, ERROR_ACCESS_DENIED);
        }
        if (!overwrite) {
            ThrowError(kOperation, paths, ERROR_FILE_EXISTS);
        }
    }

    UniqueHandle input(CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!input.Valid()) {
        ThrowLastError(kOperation, paths);
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(input.Get(), &information)) {
        ThrowLastError(kOperation, paths);
    }

    TemporaryFile temporary(TemporaryPath(to));
    temporary.handle.Reset(CreateFileW(temporary.Path().c_str(), GENERIC_WRITE, 0, nullptr,
                                       CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!temporary.handle.Valid()) {
        ThrowLastError(kOperation, paths);
    }

    std::vector<char> buffer(kCopyChunkBytes);
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(input.Get(), buffer.data(), kCopyChunkBytes, &read, nullptr)) {
            ThrowLastError(kOperation, paths);
        }
        if (read == 0) {
            break;
        }
        DWORD done = 0;
        while (done < read) {
            DWORD written = 0;
            if (!WriteFile(temporary.handle.Get(), buffer.data() + done, read - done, &written,
                           nullptr)) {
                ThrowLastError(kOperation, paths);
            }
            done += written;
        }
        if (read == kCopyChunkBytes && between_chunks) {
            between_chunks();
        }
    }

    // The time is set last, after every write, and kept through the rename.
    if (!SetFileTime(temporary.handle.Get(), nullptr, nullptr, &information.ftLastWriteTime) ||
        !FlushFileBuffers(temporary.handle.Get()) || !temporary.handle.Close()) {
        ThrowLastError(kOperation, paths);
    }
    input.Close();
    if (!MoveFileExW(temporary.Path().c_str(), to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ThrowLastError(kOperation, paths);
    }
    temporary.Keep();
}

}  // namespace velno::platform::win32
