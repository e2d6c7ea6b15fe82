#pragma once

// The Win32 primitives of the copy engine (platform/copy_engine.h).

#include <cstddef>
#include <span>
#include <string>

#include "platform/copy_engine.h"
#include "platform/win32/unique_handle.h"

namespace velno::platform::win32 {

// One copy on Windows: the temporary file is a name beside the destination;
// the read-back goes through a second handle opened without the system's
// cache, so that it reads what the device holds.
class Win32CopySteps : public CopySteps {
public:
    Win32CopySteps(const std::string& source, const std::string& destination);

    AtDestination Destination() override;
    [[noreturn]] void Refuse(CopyRefusal refusal) override;
    DateTime OpenSource() override;
    std::size_t ReadSource(std::span<char> buffer) override;
    void CreateTemporary() override;
    void WriteTemporary(std::span<const char> bytes) override;
    DateTime SetTemporaryTime(DateTime time) override;
    void FlushTemporary() override;
    void OpenReadBack() override;
    std::size_t ReadBack(std::span<char> buffer) override;
    void ReplaceDestination(bool read_only) override;
    DateTime DestinationTime() override;
    void SetDestinationTime(DateTime time) override;
    void FlushDestination() override;
    void RemoveTemporary() noexcept override;

private:
    [[noreturn]] void FailWith(DWORD error) const;
    [[noreturn]] void FailWithLastError() const;

    std::wstring from_;
    std::wstring to_;
    std::wstring temporary_;
    DWORD destination_attributes_ = 0;
    UniqueHandle source_;
    UniqueHandle writer_;
    UniqueHandle reader_;
};

// Flushes the file at that path to the device (it must not be read-only);
// false with the system's error when that fails.
bool FlushFileAt(const std::wstring& native);

// CopyFile on Windows: the copy engine over these primitives, its blocking
// steps on the worker.
void CopyFileSafely(const std::string& source, const std::string& destination, bool overwrite,
                    const ChunkCallback& between_chunks, CopyWorker& worker);

}  // namespace velno::platform::win32
