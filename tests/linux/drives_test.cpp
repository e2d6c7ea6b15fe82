// Drives on Linux: the mount table, drive types, volumes probed on real
// images and the drive list read afresh.

#include <gtest/gtest.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>

#include "platform/linux/linux_drives.h"
#include "platform/linux/linux_platform.h"
#include "test_support.h"

namespace velno::platform::linux_host {
namespace {

using linux_test::HaveProgram;
using linux_test::Shell;
using linux_test::TempFolder;
using linux_test::WriteFile;

// Captured from a desktop machine, with a mount point holding escaped
// blanks, tabs and backslashes, several optional fields and a stray line.
constexpr const char* kMountInfo =
    "2 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw,errors=remount-ro\n"
    "25 22 0:22 / /proc rw,nosuid,nodev,noexec,relatime shared:12 - proc proc rw\n"
    "97 29 8:17 / /media/user/VELNO\\040DISK rw,nosuid,nodev,relatime shared:50 master:3 - vfat "
    "/dev/sdb1 rw,uid=1000,gid=1000,fmask=0022,dmask=0022,codepage=437\n"
    "this line is not a mount\n"
    "98 22 0:45 / /mnt/share rw,relatime - nfs4 server:/export rw,vers=4.2\n"
    "99 22 0:46 / /tmp/a\\134b\\011c rw,nosuid - fuse /tmp/img\\040x.fat rw,user_id=0\n";

TEST(MountInfo, ParsesFieldsAndUnescapesPathsInMountOrder) {
    const std::vector<MountEntry> mounts = ParseMountInfo(kMountInfo);
    ASSERT_EQ(mounts.size(), 5u);
    EXPECT_EQ(mounts[0].mount_point, "/");  // a one-digit mount id is read whole
    EXPECT_EQ(mounts[1].file_system, "proc");
    EXPECT_EQ(mounts[2].mount_point, "/media/user/VELNO DISK");
    EXPECT_EQ(mounts[2].file_system, "vfat");
    EXPECT_EQ(mounts[2].source, "/dev/sdb1");
    EXPECT_EQ(mounts[2].major, 8u);
    EXPECT_EQ(mounts[2].minor, 17u);
    EXPECT_EQ(mounts[3].source, "server:/export");
    EXPECT_EQ(mounts[4].mount_point, "/tmp/a\\b\tc");
    EXPECT_EQ(mounts[4].source, "/tmp/img x.fat");
    EXPECT_TRUE(ParseMountInfo("1 2 3:4 / /x rw - \n").empty());
}

TEST(DriveType, ComesFromSysfsRemovableFlagTheSourceAndTheFileSystem) {
    // The model of /sys needs symbolic links, which a FAT volume in TMPDIR
    // cannot hold.
    TempFolder sys("/tmp");
    // A removable disk with a partition and a fixed disk, as sysfs lays
    // them out: /sys/dev/block/M:m links into /sys/devices.
    WriteFile(sys / "devices/sdb/removable", "1\n");
    WriteFile(sys / "devices/sdb/sdb1/partition", "1\n");
    WriteFile(sys / "devices/sda/removable", "0\n");
    std::filesystem::create_directories(sys / "dev/block");
    std::filesystem::create_directory_symlink("../../devices/sdb/sdb1", sys / "dev/block/8:17");
    std::filesystem::create_directory_symlink("../../devices/sdb", sys / "dev/block/8:16");
    std::filesystem::create_directory_symlink("../../devices/sda", sys / "dev/block/8:0");
    WriteFile(sys / "image.fat", "not probed here");

    const auto type = [&sys](unsigned major, unsigned minor, const char* fs, std::string source) {
        return ClassifyDrive(MountEntry{major, minor, "/m", fs, std::move(source)}, sys.path());
    };
    EXPECT_EQ(type(8, 17, "vfat", "/dev/sdb1"), kDriveRemovable);
    EXPECT_EQ(type(8, 16, "vfat", "/dev/sdb"), kDriveRemovable);
    EXPECT_EQ(type(8, 0, "ext4", "/dev/sda"), kDriveFixed);
    EXPECT_EQ(type(7, 3, "vfat", "/dev/loop3"), kDriveFixed);  // no sysfs entry
    EXPECT_EQ(type(0, 46, "fuse", sys / "image.fat"), kDriveFixed);
    EXPECT_EQ(type(0, 45, "nfs4", "server:/export"), kDriveNetwork);
    EXPECT_EQ(type(8, 33, "cifs", "//server/share"), kDriveNetwork);
    EXPECT_EQ(type(0, 30, "tmpfs", "tmpfs"), kDriveRamDisk);
    EXPECT_EQ(type(0, 22, "proc", "proc"), kDriveUnknown);
    EXPECT_EQ(type(0, 47, "fuse", sys / "gone.fat"), kDriveUnknown);
}

TEST(VolumeValues, FromUdevPropertiesAndSerialForms) {
    const VolumeInfo fat = VolumeInfoFromValues(
        "vfat", "FAT32", DecodeUdevEscapes("VELNO\\x20DISK\\x5c"), "1A2B-3C4D");
    EXPECT_EQ(fat.label, "VELNO DISK\\");
    EXPECT_EQ(fat.fat_version, "FAT32");
    EXPECT_EQ(fat.serial, 0x1A2B3C4D);
    EXPECT_EQ(VolumeInfoFromValues("vfat", "", "", "").fat_version, "FAT");
    EXPECT_EQ(VolumeInfoFromValues("ext4", "1.0", "VELNO", "").fat_version, "");
    EXPECT_EQ(SerialFromUuid("ffff-ffff"), -1);
    EXPECT_EQ(SerialFromUuid("0A1B2C3D4E5F6071"), 0x4E5F6071);  // NTFS: low 32 bits
    EXPECT_EQ(SerialFromUuid("3e6be9de-8139-4c3a-9106-a43f08d823a6"), 0);
    EXPECT_EQ(SerialFromUuid("1A2B-3C4G"), 0);
    EXPECT_EQ(DecodeUdevEscapes("A\\x2"), "A\\x2");
}

// Volumes probed on real images made with mkfs.fat (and mke2fs), each
// listed by the host as the mount of its own mountinfo file.
TEST(ImageProbe, ReadsLabelVersionAndSerialOrGivesTheKernelsName) {
    if (!HaveProgram("mkfs.fat")) {
        GTEST_SKIP() << "mkfs.fat (dosfstools) is not installed";
    }
    TempFolder folder;
    const struct {
        const char* make;  // empty: a megabyte of zeros
        const char* kernel_type;
        const char* label;
        const char* version;
        std::int32_t serial;
    } cases[] = {
        {"mkfs.fat -C -F 32 -n VELNO -i 1A2B3C4D IMG 40000", "fuse", "VELNO", "FAT32", 0x1A2B3C4D},
        {"mkfs.fat -C -F 16 -n 'NOT VELNO' -i 9ABCDEF0 IMG 16000", "vfat", "NOT VELNO", "FAT16",
         static_cast<std::int32_t>(0x9ABCDEF0u)},
        {"mkfs.fat -C -F 12 -n SMALL -i 00000000 IMG 1000", "msdos", "SMALL", "FAT12", 0},
        {"mke2fs -q -F -t ext2 -L VELNO IMG 2048", "ext2", "VELNO", "ext2", 0},
        {"", "fuse.something", "", "fuse.something", 0}};
    int number = 0;
    for (const auto& c : cases) {
        const std::string image = folder / ("image" + std::to_string(++number));
        std::string make = c.make;
        if (make.empty()) {
            WriteFile(image, std::string(1 << 20, '\0'));
        } else if (!HaveProgram(make.substr(0, make.find(' ')))) {
            continue;
        } else {
            ASSERT_EQ(Shell(make.replace(make.find("IMG"), 3, image) + " >/dev/null 2>&1"), 0);
        }
        WriteFile(folder / "mountinfo", "40 1 0:40 / " + folder.path() + " rw - " + c.kernel_type +
                                            " " + image + " rw\n");
        LinuxPlatform host({.application_folder = folder.path(),
                            .drive_sources = {.mountinfo_path = folder / "mountinfo",
                                              .sysfs_root = folder / "nosys"}});
        const auto drives = host.CreateFileSystemObject("Scripting.FileSystemObject")->Drives();
        const std::shared_ptr<Drive> drive = drives->Walk().at(0);
        SCOPED_TRACE(c.make);
        EXPECT_EQ(drive->VolumeName(), c.label);
        EXPECT_EQ(drive->FileSystem(), c.version);
        EXPECT_EQ(drive->SerialNumber(), c.serial);
        EXPECT_EQ(drive->RootFolder(), folder.path() + "/");
    }
}

TEST(DriveList, IsReadAfreshAtEveryWalk) {
    TempFolder folder;
    std::filesystem::create_directory(folder / "first");
    const std::string first = "31 1 0:31 / " + folder.path() + "/first rw - tmpfs tmpfs rw\n";
    WriteFile(folder / "mountinfo", first);
    LinuxPlatform host({.application_folder = folder.path(),
                        .drive_sources = {.mountinfo_path = folder / "mountinfo"}});
    const auto drives = host.CreateFileSystemObject("Scripting.FileSystemObject")->Drives();
    ASSERT_EQ(drives->Walk().size(), 1u);
    EXPECT_TRUE(drives->Walk()[0]->IsReady());

    WriteFile(folder / "mountinfo",
              first + "32 1 0:32 / " + folder.path() + "/second\\040one rw - nfs s:/x rw\n");
    const auto walked = drives->Walk();
    ASSERT_EQ(walked.size(), 2u);
    EXPECT_EQ(walked[1]->Path(), folder.path() + "/second one");
    EXPECT_EQ(walked[1]->DriveType(), kDriveNetwork);
    EXPECT_FALSE(walked[1]->IsReady());  // its mount point does not exist
    EXPECT_EQ(walked[1]->FileSystem(), "nfs");

    std::filesystem::remove(folder / "mountinfo");
    EXPECT_THROW(drives->Walk(), PlatformError);
}

}  // namespace
}  // namespace velno::platform::linux_host
