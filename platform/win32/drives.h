#pragma once

// The host's drives: the letters GetLogicalDriveStringsW lists, each with
// its type from GetDriveTypeW and its volume data from
// GetVolumeInformationW, read afresh whenever asked.

#include <memory>
#include <string>
#include <vector>

#include "platform/contract.h"

namespace velno::platform::win32 {

class Win32Drive : public Drive {
public:
    // root: the drive's root as the system lists it, e.g. "E:\".
    explicit Win32Drive(std::wstring root);

    int DriveType() override;
    bool IsReady() override;
    std::string VolumeName() override;
    std::string FileSystem() override;
    std::int32_t SerialNumber() override;
    std::string Path() override;
    std::string RootFolder() override;
    // The cluster size from GetDiskFreeSpaceW; the free bytes this user may
    // write and the volume's size from GetDiskFreeSpaceExW, which is not
    // capped at 2 GB.
    VolumeSpace Space() override;

private:
    struct VolumeInformation {
        std::wstring label;
        std::wstring file_system;
        unsigned long serial = 0;
    };
    VolumeInformation Read(const char* operation);

    std::wstring root_;
};

class Win32DriveCollection : public DriveCollection {
public:
    // The drives present now, in the order of their letters.
    std::vector<std::shared_ptr<Drive>> Walk() override;
};

}  // namespace velno::platform::win32
