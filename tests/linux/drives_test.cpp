// Drives on Linux: the mount table parser, drive types from sysfs, volume
// probing on real images made with mkfs.fat, and the drive list read afresh.

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
    "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw,errors=remount-ro\n"
    "25 22 0:22 / /proc rw,nosuid,nodev,noexec,relatime shared:12 - proc proc rw\n"
    "97 29 8:17 / /media/user/VELNO\\040DISK rw,nosuid,nodev,relatime shared:50 master:3 - vfat "
    "/dev/sdb1 rw,uid=1000,gid=1000,fmask=0022,dmask=0022,codepage=437\n"
    "this line is not a mount\n"
    "98 22 0:45 / /mnt/share rw,relatime - nfs4 server:/export rw,vers=4.2\n"
    "99 22 0:46 / /tmp/a\\134b\\011c rw,nosuid - fuse /tmp/img\\040x.fat rw,user_id=0\n";

TEST(MountInfo, ParsesFieldsAndUnescapesPathsInMountOrder) {
    const std::vector<MountEntry> mounts = ParseMountInfo(kMountInfo);
    ASSERT_EQ(mounts.size(), 5u);
    EXPECT_EQ(mounts[0].mount_point, "/");
    EXPECT_EQ(mounts[0].source, "/dev/sda1");
    EXPECT_EQ(mounts[1].file_system, "proc");
    EXPECT_EQ(mounts[1].major, 0u);
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
    TempFolder sys;
    // A removable disk with a partition and a fixed disk, laid out as sysfs
    // lays them out: /sys/dev/block/M:m links into /sys/devices.
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

class ImageProbe : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveProgram("mkfs.fat")) {
            GTEST_SKIP() << "mkfs.fat (dosfstools) is not installed";
        }
    }

    std::string MakeFat(const std::string& name, const std::string& options, int kib) {
        const std::string image = folder_ / name;
        EXPECT_EQ(Shell("mkfs.fat -C " + options + " '" + image + "' " + std::to_string(kib) +
                        " >/dev/null 2>&1"),
                  0);
        return image;
    }

    // A drive as the host lists it, for a mount whose source is the image.
    std::shared_ptr<Drive> DriveFor(const std::string& image, const std::string& kernel_type) {
        WriteFile(folder_ / "mountinfo",
                  "40 1 0:40 / " + folder_.path() + " rw - " + kernel_type + " " + image + " rw\n");
        LinuxPlatform host({.application_folder = folder_.path(),
                            .drive_sources = {.mountinfo_path = folder_ / "mountinfo",
                                              .sysfs_root = folder_ / "nosys"}});
        auto drives = host.CreateFileSystemObject("Scripting.FileSystemObject")->Drives()->Walk();
        EXPECT_EQ(drives.size(), 1u);
        return drives.at(0);
    }

    TempFolder folder_;
};

TEST_F(ImageProbe, ReadsLabelVersionAndSerialOfFatImages) {
    const std::string fat32 = MakeFat("fat32.img", "-F 32 -n VELNO -i 1A2B3C4D", 40000);
    const std::string fat16 = MakeFat("fat16.img", "-F 16 -n 'NOT VELNO' -i 9ABCDEF0", 16000);
    const std::string fat12 = MakeFat("fat12.img", "-F 12 -n SMALL -i 00000000", 1000);

    const std::shared_ptr<Drive> drive32 = DriveFor(fat32, "fuse");
    EXPECT_EQ(drive32->DriveType(), kDriveFixed);
    EXPECT_TRUE(drive32->IsReady());
    EXPECT_EQ(drive32->VolumeName(), "VELNO");
    EXPECT_EQ(drive32->FileSystem(), "FAT32");
    EXPECT_EQ(drive32->SerialNumber(), 0x1A2B3C4D);
    EXPECT_EQ(drive32->Path(), folder_.path());
    EXPECT_EQ(drive32->RootFolder(), folder_.path() + "/");

    const std::shared_ptr<Drive> drive16 = DriveFor(fat16, "vfat");
    EXPECT_EQ(drive16->VolumeName(), "NOT VELNO");
    EXPECT_EQ(drive16->FileSystem(), "FAT16");
    EXPECT_EQ(drive16->SerialNumber(), static_cast<std::int32_t>(0x9ABCDEF0u));

    const std::shared_ptr<Drive> drive12 = DriveFor(fat12, "msdos");
    EXPECT_EQ(drive12->VolumeName(), "SMALL");
    EXPECT_EQ(drive12->FileSystem(), "FAT12");
    EXPECT_EQ(drive12->SerialNumber(), 0);
}

TEST_F(ImageProbe, OtherFileSystemsAndUnknownContentGiveTheKernelsName) {
    WriteFile(folder_ / "zeros.img", std::string(1 << 20, '\0'));
    const std::shared_ptr<Drive> blank = DriveFor(folder_ / "zeros.img", "fuse.something");
    EXPECT_EQ(blank->FileSystem(), "fuse.something");
    EXPECT_EQ(blank->VolumeName(), "");
    EXPECT_EQ(blank->SerialNumber(), 0);
    if (!HaveProgram("mke2fs")) {
        GTEST_SKIP() << "mke2fs is not installed";
    }
    const std::string ext2 = folder_ / "ext2.img";
    ASSERT_EQ(Shell("mke2fs -q -F -t ext2 -L VELNO '" + ext2 + "' 2048 >/dev/null 2>&1"), 0);
    const std::shared_ptr<Drive> drive = DriveFor(ext2, "ext2");
    EXPECT_EQ(drive->VolumeName(), "VELNO");
    EXPECT_EQ(drive->FileSystem(), "ext2");
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
