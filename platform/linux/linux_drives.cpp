#include "platform/linux/linux_drives.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string_view>
#include <thread>

#include "platform/linux/file_io.h"
#include "platform/linux/system_error.h"

namespace velno::platform::linux_host {

namespace {

constexpr int kReadyCheckMilliseconds = 3000;

constexpr std::array<std::string_view, 16> kNetworkFileSystems = {
    "nfs",  "nfs4",      "cifs",   "smb3",  "smbfs", "ncpfs",      "9p",          "afs",
    "ceph", "glusterfs", "lustre", "davfs", "coda",  "fuse.sshfs", "fuse.rclone", "fuse.glusterfs",
};

bool IsNetworkFileSystem(const std::string& type) {
    for (const std::string_view name : kNetworkFileSystems) {
        if (type == name) {
            return true;
        }
    }
    return false;
}

// The kernel file systems that can mount a FAT volume: its own drivers and
// FUSE, whose drivers (fusefat among them) may come with a subtype.
bool CanMountFat(const std::string& type) {
    return type == "vfat" || type == "msdos" || type == "fuse" || type == "fuseblk" ||
           type.starts_with("fuse.");
}

// The sysfs "removable" flag of a block device; a partition takes its
// disk's flag, one folder up.
bool IsRemovable(dev_t device, const std::string& sysfs_root) {
    const std::string folder = sysfs_root + "/dev/block/" + std::to_string(major(device)) + ":" +
                               std::to_string(minor(device));
    std::string flag;
    if (ReadWholeFile(folder + "/removable", flag) != 0 &&
        ReadWholeFile(folder + "/../removable", flag) != 0) {
        return false;
    }
    return flag.starts_with("1");
}

// The device number that every file of the mounted volume shows.
dev_t DeviceOf(const MountEntry& mount) { return makedev(mount.major, mount.minor); }

}  // namespace

int ClassifyDrive(const MountEntry& mount, const std::string& sysfs_root) {
    if (IsNetworkFileSystem(mount.file_system)) {
        return kDriveNetwork;
    }
    if (mount.major != 0) {
        return IsRemovable(makedev(mount.major, mount.minor), sysfs_root) ? kDriveRemovable
                                                                          : kDriveFixed;
    }
    // File systems with an anonymous device number (FUSE, btrfs) name their
    // device or image file as the source.
    struct stat info {};
    if (mount.source.starts_with("/") && ::stat(mount.source.c_str(), &info) == 0) {
        if (S_ISBLK(info.st_mode)) {
            return IsRemovable(info.st_rdev, sysfs_root) ? kDriveRemovable : kDriveFixed;
        }
        if (S_ISREG(info.st_mode)) {
            return kDriveFixed;
        }
    }
    if (mount.file_system == "tmpfs" || mount.file_system == "ramfs") {
        return kDriveRamDisk;
    }
    return kDriveUnknown;
}

bool ReadableWithin(const std::string& folder, dev_t volume, int milliseconds) {
    struct Check {
        std::mutex mutex;
        std::condition_variable finished;
        bool done = false;
        bool readable = false;
    };
    const auto check = std::make_shared<Check>();
    std::thread([check, folder, volume] {
        DIR* listing = ::opendir(folder.c_str());
        struct stat info {};
        const bool readable =
            listing != nullptr && ::fstat(::dirfd(listing), &info) == 0 && info.st_dev == volume;
        if (listing != nullptr) {
            ::closedir(listing);
        }
        const std::lock_guard lock(check->mutex);
        check->done = true;
        check->readable = readable;
        check->finished.notify_all();
    }).detach();
    std::unique_lock lock(check->mutex);
    check->finished.wait_for(lock, std::chrono::milliseconds(milliseconds),
                             [&check] { return check->done; });
    return check->done && check->readable;
}

LinuxDrive::LinuxDrive(MountEntry mount, std::string sysfs_root, std::shared_ptr<PathRoots> roots)
    : mount_(std::move(mount)), sysfs_root_(std::move(sysfs_root)), roots_(std::move(roots)) {}

int LinuxDrive::DriveType() { return ClassifyDrive(mount_, sysfs_root_); }

bool LinuxDrive::IsReady() {
    return ReadableWithin(mount_.mount_point, DeviceOf(mount_), kReadyCheckMilliseconds);
}

std::string LinuxDrive::VolumeName() { return Volume().label; }

std::string LinuxDrive::FileSystem() {
    const std::string& version = Volume().fat_version;
    return version.empty() ? mount_.file_system : version;
}

std::int32_t LinuxDrive::SerialNumber() { return Volume().serial; }

std::string LinuxDrive::Path() {
    roots_->Add(mount_.mount_point, PathRoots::Kind::kDrive, DeviceOf(mount_));
    return mount_.mount_point;
}

std::string LinuxDrive::RootFolder() {
    const std::string path = Path();
    return path.ends_with("/") ? path : path + "/";
}

VolumeSpace LinuxDrive::Space() {
    // Asked of the open folder, which is the volume's only while the device
    // matches: a mount point left behind would give the host disk's figures.
    const FileDescriptor root(
        ::open(mount_.mount_point.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat mounted {};
    struct statvfs info {};
    if (!root.valid() || ::fstat(root.get(), &mounted) != 0 || ::fstatvfs(root.get(), &info) != 0) {
        ThrowSystemError("Space", {mount_.mount_point}, errno);
    }
    if (mounted.st_dev != DeviceOf(mount_)) {
        ThrowVolumeGone("Space", {mount_.mount_point});
    }
    if (info.f_blocks == 0 || info.f_frsize == 0) {
        return {};
    }
    return {.total_bytes = std::uint64_t{info.f_blocks} * info.f_frsize,
            .free_bytes = std::uint64_t{info.f_bavail} * info.f_frsize,
            .cluster_bytes = info.f_frsize};
}

const VolumeInfo& LinuxDrive::Volume() {
    if (volume_) {
        return *volume_;
    }
    // Only a device or image file is probed, never a network source, and
    // only local block devices are looked up in udev; a volume that the
    // kernel mounted as anything but FAT is neither: it cannot be the
    // instrument, and a slow device would only delay detection.
    const int type = DriveType();
    if ((type == kDriveFixed || type == kDriveRemovable) && CanMountFat(mount_.file_system)) {
        volume_ = mount_.source.starts_with("/") ? ProbeVolume(mount_.source) : std::nullopt;
        if (!volume_) {
            dev_t device = makedev(mount_.major, mount_.minor);
            struct stat info {};
            if (mount_.major == 0 && ::stat(mount_.source.c_str(), &info) == 0 &&
                S_ISBLK(info.st_mode)) {
                device = info.st_rdev;
            }
            if (major(device) != 0) {
                volume_ = QueryUdev(device);
            }
        }
    }
    if (!volume_) {
        volume_ = VolumeInfo{};
    }
    return *volume_;
}

LinuxDriveCollection::LinuxDriveCollection(DriveSources sources, std::shared_ptr<PathRoots> roots)
    : sources_(std::move(sources)), roots_(std::move(roots)) {}

std::vector<std::shared_ptr<Drive>> LinuxDriveCollection::Walk() {
    std::vector<std::shared_ptr<Drive>> drives;
    for (MountEntry& mount : ReadMountInfo(sources_.mountinfo_path)) {
        drives.push_back(
            std::make_shared<LinuxDrive>(std::move(mount), sources_.sysfs_root, roots_));
    }
    return drives;
}

}  // namespace velno::platform::linux_host
