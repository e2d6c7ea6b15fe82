#include "platform/win32/drives.h"

#include "platform/win32/text_conversion.h"
#include "platform/win32/windows_api.h"

namespace velno::platform::win32 {

namespace {

// Keeps the system from asking the user to insert a medium while a drive
// without one is looked at; the call fails with ERROR_NOT_READY instead.
class NoCriticalErrorBoxes {
public:
    NoCriticalErrorBoxes() { SetThreadErrorMode(SEM_FAILCRITICALERRORS, &previous_); }
    ~NoCriticalErrorBoxes() { SetThreadErrorMode(previous_, nullptr); }
    NoCriticalErrorBoxes(const NoCriticalErrorBoxes&) = delete;
    NoCriticalErrorBoxes& operator=(const NoCriticalErrorBoxes&) = delete;

private:
    DWORD previous_ = 0;
};

}  // namespace

Win32Drive::Win32Drive(std::wstring root) : root_(std::move(root)) {}

int Win32Drive::DriveType() {
    switch (GetDriveTypeW(root_.c_str())) {
        case DRIVE_REMOVABLE:
            return kDriveRemovable;
        case DRIVE_FIXED:
            return kDriveFixed;
        case DRIVE_REMOTE:
            return kDriveNetwork;
        case DRIVE_CDROM:
            return kDriveCdRom;
        case DRIVE_RAMDISK:
            return kDriveRamDisk;
        default:
            return kDriveUnknown;
    }
}

bool Win32Drive::IsReady() {
    NoCriticalErrorBoxes quiet;
    return GetVolumeInformationW(root_.c_str(), nullptr, 0, nullptr, nullptr, nullptr, nullptr,
                                 0) != FALSE;
}

Win32Drive::VolumeInformation Win32Drive::Read(const char* operation) {
    NoCriticalErrorBoxes quiet;
    wchar_t label[MAX_PATH + 1] = {};
    wchar_t file_system[MAX_PATH + 1] = {};
    DWORD serial = 0;
    if (!GetVolumeInformationW(root_.c_str(), label, MAX_PATH + 1, &serial, nullptr, nullptr,
                               file_system, MAX_PATH + 1)) {
        ThrowLastError(operation, {Path()});
    }
    return {label, file_system, serial};
}

std::string Win32Drive::VolumeName() { return WideToUtf8(Read("VolumeName").label); }

std::string Win32Drive::FileSystem() { return WideToUtf8(Read("FileSystem").file_system); }

std::int32_t Win32Drive::SerialNumber() {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(Read("SerialNumber").serial));
}

std::string Win32Drive::Path() {
    // "E:\" -> "E:": the letter and the colon.
    return WideToUtf8(root_.substr(0, 2));
}

std::string Win32Drive::RootFolder() { return WideToUtf8(root_); }

VolumeSpace Win32Drive::Space() {
    NoCriticalErrorBoxes quiet;
    DWORD sectors_per_cluster = 0;
    DWORD bytes_per_sector = 0;
    DWORD free_clusters = 0;
    DWORD total_clusters = 0;
    ULARGE_INTEGER available{};
    ULARGE_INTEGER total{};
    if (!GetDiskFreeSpaceW(root_.c_str(), &sectors_per_cluster, &bytes_per_sector, &free_clusters,
                           &total_clusters) ||
        !GetDiskFreeSpaceExW(root_.c_str(), &available, &total, nullptr)) {
        ThrowLastError("Space", {Path()});
    }
    const std::uint64_t cluster = std::uint64_t{sectors_per_cluster} * bytes_per_sector;
    if (total.QuadPart == 0 || cluster == 0) {
        return {};
    }
    return {
        .total_bytes = total.QuadPart, .free_bytes = available.QuadPart, .cluster_bytes = cluster};
}

std::vector<std::shared_ptr<Drive>> Win32DriveCollection::Walk() {
    std::wstring buffer(128, L'\0');
    for (;;) {
        const DWORD length =
            GetLogicalDriveStringsW(static_cast<DWORD>(buffer.size()), buffer.data());
        if (length == 0) {
            ThrowLastError("Drives", {});
        }
        if (length < buffer.size()) {
            buffer.resize(length);
            break;
        }
        buffer.assign(length + 1, L'\0');
    }
    std::vector<std::shared_ptr<Drive>> drives;
    std::size_t start = 0;
    while (start < buffer.size()) {
        const std::size_t end = buffer.find(L'\0', start);
        const std::size_t stop = end == std::wstring::npos ? buffer.size() : end;
        if (stop - start >= 2) {
            drives.push_back(std::make_shared<Win32Drive>(buffer.substr(start, stop - start)));
        }
        start = stop + 1;
    }
    return drives;
}

}  // namespace velno::platform::win32
