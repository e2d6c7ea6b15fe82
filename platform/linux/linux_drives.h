#pragma once

// Drives on Linux: every mounted volume of /proc/self/mountinfo, in mount
// order, with its mount point as its path.

#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>

#include "platform/contract.h"
#include "platform/linux/mountinfo.h"
#include "platform/linux/path_roots.h"
#include "platform/linux/volume_probe.h"

namespace velno::platform::linux_host {

// Where the drive list comes from; tests point these at files of their own.
struct DriveSources {
    std::string mountinfo_path = "/proc/self/mountinfo";
    std::string sysfs_root = "/sys";
};

// kDriveRemovable when the backing block device's sysfs "removable" flag is
// 1, kDriveFixed for other block devices and image files, kDriveNetwork for
// network file systems, kDriveRamDisk for tmpfs and ramfs, kDriveUnknown
// for the other pseudo file systems. Never touches the mount itself.
int ClassifyDrive(const MountEntry& mount, const std::string& sysfs_root);

// True when the folder can be opened for reading within the time limit and
// lies on the volume of that device number (a mount point whose volume has
// gone is a folder of another file system). The check runs on a helper
// thread so that a dead network mount cannot hang the caller; a check that
// does not finish is abandoned.
bool ReadableWithin(const std::string& folder, dev_t volume, int milliseconds);

class LinuxDrive : public Drive {
public:
    LinuxDrive(MountEntry mount, std::string sysfs_root, std::shared_ptr<PathRoots> roots);

    int DriveType() override;
    bool IsReady() override;
    // The label, FAT version and serial number are read once, from the
    // device or image (FAT only) or from udev, and only for a local volume
    // that the kernel mounted as FAT or through FUSE. Any other cannot be the
    // instrument: an empty label, the kernel's file-system name and serial 0.
    std::string VolumeName() override;
    std::string FileSystem() override;
    std::int32_t SerialNumber() override;
    std::string Path() override;
    std::string RootFolder() override;
    // From statvfs; none where the file system counts no blocks (fusefat).
    VolumeSpace Space() override;

private:
    const VolumeInfo& Volume();

    MountEntry mount_;
    std::string sysfs_root_;
    std::shared_ptr<PathRoots> roots_;
    std::optional<VolumeInfo> volume_;  // probed on first use
};

class LinuxDriveCollection : public DriveCollection {
public:
    LinuxDriveCollection(DriveSources sources, std::shared_ptr<PathRoots> roots);
    // Reads the mount table afresh at every call.
    std::vector<std::shared_ptr<Drive>> Walk() override;

private:
    DriveSources sources_;
    std::shared_ptr<PathRoots> roots_;
};

}  // namespace velno::platform::linux_host
