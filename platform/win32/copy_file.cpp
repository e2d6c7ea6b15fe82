#include "platform/win32/copy_file.h"

#include <cstdint>

#include "platform/win32/file_info.h"
#include "platform/win32/native_path.h"
#include "platform/win32/text_conversion.h"

namespace velno::platform::win32 {

namespace {

constexpr const char* kOperation = "CopyFile";

DWORD ChunkPart(std::size_t size) { return static_cast<DWORD>(size); }

}  // namespace

Win32CopySteps::Win32CopySteps(const std::string& source, const std::string& destination)
    : CopySteps(source, destination),
      from_(NativePath(kOperation, source)),
      to_(NativePath(kOperation, destination)) {}

void Win32CopySteps::FailWith(DWORD error) const { Fail(SystemMessage(error)); }

void Win32CopySteps::FailWithLastError() const { FailWith(GetLastError()); }

AtDestination Win32CopySteps::Destination() {
    const auto entry = QueryEntry(kOperation, Texts()[1], to_);
    if (!entry) {
        return AtDestination::kNone;
    }
    destination_attributes_ = entry->dwFileAttributes;
    if (IsFolder(*entry)) {
        return AtDestination::kFolder;
    }
    return (destination_attributes_ & FILE_ATTRIBUTE_READONLY) != 0 ? AtDestination::kReadOnlyFile
                                                                    : AtDestination::kFile;
}

void Win32CopySteps::Refuse(CopyRefusal refusal) {
    FailWith(refusal == CopyRefusal::kDestinationIsFolder ? ERROR_ACCESS_DENIED
                                                          : ERROR_FILE_EXISTS);
}

DateTime Win32CopySteps::OpenSource() {
    source_.Reset(CreateFileW(from_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    BY_HANDLE_FILE_INFORMATION information{};
    if (!source_.Valid() || !GetFileInformationByHandle(source_.Get(), &information)) {
        FailWithLastError();
    }
    return ToDateTime(information.ftLastWriteTime);
}

std::size_t Win32CopySteps::ReadSource(std::span<char> buffer) {
    std::size_t filled = 0;
    while (filled < buffer.size()) {
        DWORD read = 0;
        if (!ReadFile(source_.Get(), buffer.data() + filled, ChunkPart(buffer.size() - filled),
                      &read, nullptr)) {
            FailWithLastError();
        }
        if (read == 0) {
            break;
        }
        filled += read;
    }
    return filled;
}

void Win32CopySteps::CreateTemporary() {
    // The first free name beside the destination: one that an earlier copy
    // left is passed over.
    const std::wstring prefix =
        to_.substr(0, to_.rfind(L'\\') + 1) + Utf8ToWide(kTemporaryCopyPrefix);
    DWORD error = ERROR_FILE_EXISTS;
    for (int count = 0; count < kTemporaryNames && error == ERROR_FILE_EXISTS; ++count) {
        const std::wstring candidate = prefix + std::to_wstring(count) + L".tmp";
        writer_.Reset(CreateFileW(candidate.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
        error = writer_.Valid() ? ERROR_SUCCESS : GetLastError();
        temporary_ = writer_.Valid() ? candidate : temporary_;
    }
    if (!writer_.Valid()) {
        FailWith(error);
    }
}

void Win32CopySteps::WriteTemporary(std::span<const char> bytes) {
    while (!bytes.empty()) {
        DWORD written = 0;
        if (!WriteFile(writer_.Get(), bytes.data(), ChunkPart(bytes.size()), &written, nullptr)) {
            FailWithLastError();
        }
        bytes = bytes.subspan(written);
    }
}

DateTime Win32CopySteps::SetTemporaryTime(DateTime time) {
    const FILETIME wanted = ToFiletime(time);
    if (!SetFileTime(writer_.Get(), nullptr, nullptr, &wanted)) {
        FailWithLastError();
    }
    const auto entry = QueryEntry(kOperation, Texts()[1], temporary_);
    if (!entry) {
        FailWith(ERROR_FILE_NOT_FOUND);
    }
    return ToDateTime(entry->ftLastWriteTime);
}

void Win32CopySteps::FlushTemporary() {
    if (!FlushFileBuffers(writer_.Get()) || !writer_.Close()) {
        FailWithLastError();
    }
}

void Win32CopySteps::OpenReadBack() {
    reader_.Reset(CreateFileW(temporary_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN,
                              nullptr));
    if (!reader_.Valid()) {
        FailWithLastError();
    }
}

std::size_t Win32CopySteps::ReadBack(std::span<char> buffer) {
    // Without the cache every read starts at a sector boundary; the buffer
    // and its size are whole sectors, so one read fills it or ends the file.
    DWORD read = 0;
    if (!ReadFile(reader_.Get(), buffer.data(), ChunkPart(buffer.size()), &read, nullptr)) {
        FailWithLastError();
    }
    return read;
}

void Win32CopySteps::ReplaceDestination(bool read_only) {
    reader_.Close();
    source_.Close();
    // MoveFileExW refuses to replace a read-only file: the bit is cleared
    // just before, and put back when the replace fails.
    if (read_only && !SetFileAttributesW(
                         to_.c_str(), destination_attributes_ & ~DWORD{FILE_ATTRIBUTE_READONLY})) {
        FailWithLastError();
    }
    if (!MoveFileExW(temporary_.c_str(), to_.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        if (read_only) {
            SetFileAttributesW(to_.c_str(), destination_attributes_);
        }
        FailWith(error);
    }
    temporary_.clear();
}

DateTime Win32CopySteps::DestinationTime() {
    const auto entry = QueryEntry(kOperation, Texts()[1], to_);
    if (!entry) {
        FailWith(ERROR_FILE_NOT_FOUND);
    }
    return ToDateTime(entry->ftLastWriteTime);
}

void Win32CopySteps::SetDestinationTime(DateTime time) {
    UniqueHandle file(CreateFileW(to_.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    const FILETIME wanted = ToFiletime(time);
    if (!file.Valid() || !SetFileTime(file.Get(), nullptr, nullptr, &wanted) || !file.Close()) {
        FailWithLastError();
    }
}

void Win32CopySteps::FlushDestination() {
    // MOVEFILE_WRITE_THROUGH returns once the rename is on the device; the
    // file's own flush writes what the file system keeps of it there.
    // (Windows offers no flush of a folder's entries to a standard user.)
    if (!FlushFileAt(to_)) {
        FailWithLastError();
    }
}

void Win32CopySteps::RemoveTemporary() noexcept {
    source_.Close();
    writer_.Close();
    reader_.Close();
    if (!temporary_.empty()) {
        DeleteFileW(temporary_.c_str());
        temporary_.clear();
    }
}

bool FlushFileAt(const std::wstring& native) {
    UniqueHandle file(CreateFileW(native.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.Valid() && FlushFileBuffers(file.Get()) && file.Close();
}

void CopyFileSafely(const std::string& source, const std::string& destination, bool overwrite,
                    const ChunkCallback& between_chunks, CopyWorker& worker) {
    Win32CopySteps steps(source, destination);
    CopyVerified(steps, overwrite, between_chunks, worker);
}

}  // namespace velno::platform::win32
