// The Linux host: the contract's rig on real temporary folders, the fault
// matrix on that rig with a tmpfs for the instrument, and what only Linux
// has: mounts, drive types, probed images, path roots, removal.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "fake/error_of.h"
#include "fault/fault_matrix.h"
#include "host_contract.h"
#include "platform/linux/copy_file.h"
#include "platform/linux/linux_drives.h"
#include "platform/linux/linux_platform.h"
#include "test_support.h"

namespace velno::platform::linux_host {
namespace {

using namespace linux_test;
using fault_test::Fault;

// A host whose one drive is a folder listed in a mountinfo file of its own,
// mounted there once for each "type source", the last on top.
LinuxHostOptions OptionsFor(const TempFolder& temp, const std::string& drive,
                            const std::string& app,
                            const std::vector<std::string>& mounts = {"tmpfs tmpfs"}) {
    std::filesystem::create_directories(drive);
    std::filesystem::create_directories(app);
    std::string mountinfo;
    for (const std::string& mount : mounts) {
        mountinfo += "50 1 " + DeviceNumbers(drive) + " / " + drive + " rw - " + mount + " rw\n";
    }
    WriteFile(temp / "mountinfo", mountinfo);
    return {.application_folder = app, .drive_sources = {.mountinfo_path = temp / "mountinfo"}};
}

std::shared_ptr<Drive> FirstDrive(Platform& host) {
    return host.CreateFileSystemObject("Scripting.FileSystemObject")->Drives()->Walk().at(0);
}

std::string Native(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

// Base: host_test::HostRig, or a rig interface built on it.
template <class Base = host_test::HostRig>
class LinuxRig : public Base {
public:
    LinuxRig() : host_(OptionsFor(temp_, temp_ / "drive", temp_ / "app")) {
        std::filesystem::create_directories(temp_ / "drive/scratch");
        drive_ = FirstDrive(host_)->Path();  // learnt as the program does
        app_ = host_.GetRuntime().ApplicationFolder();
    }
    Platform& Host() override { return host_; }
    std::string DrivePath() override { return drive_; }
    std::string Drive() override { return drive_ + "\\scratch"; }
    std::string App() override { return app_; }
    void Write(const std::string& path, const std::string& bytes, long long seconds) override {
        WriteFile(Native(path), bytes, seconds);
    }
    void MakeFolder(const std::string& path) override {
        std::filesystem::create_directories(Native(path));
    }
    std::map<std::string, std::string> Entries(const std::string& folder,
                                               bool attributes) override {
        return linux_test::Entries(Native(folder), attributes);
    }
    bool KeepsOddSeconds() override { return !OnFat(drive_); }
    // The folder's native path: in the case it was made with, unless FAT
    // finds the name as asked.
    std::string FolderPath(const std::string& asked, const std::string& made) override {
        return Native(OnFat(drive_) ? asked : made);
    }
    unsigned HeldAttributes() override { return OnFat(drive_) ? 7u : 1u; }
    unsigned Attributes(const std::string& path) override { return FatAttributes(Native(path)); }
    std::unique_ptr<CopySteps> FaultyCopy(host_test::Fault fault, const std::string& source,
                                          const std::string& destination) override {
        return std::make_unique<host_test::FaultySteps<LinuxCopySteps>>(
            fault, CopyPaths{Native(source), Native(destination), source, destination});
    }

protected:
    TempFolder temp_;
    LinuxPlatform host_;
    std::string drive_;
    std::string app_;
};

TEST(PathRoots, PathsStayBelowTheLongestRootAndOtherPathsAreRefused) {
    TempFolder temp;
    // The application's folder holds the drive's, as it may.
    LinuxPlatform host(OptionsFor(temp, temp / "drive", temp.path()));
    const auto fs = host.CreateFileSystemObject("Scripting.FileSystemObject");
    const std::string drive = FirstDrive(host)->Path();
    const std::string app = host.GetRuntime().ApplicationFolder();
    fs->CreateFolder(drive + "\\..\\inner");
    EXPECT_TRUE(std::filesystem::is_directory(temp / "drive/inner"));
    fs->CreateFolder(app + "\\..\\inner");
    EXPECT_TRUE(std::filesystem::is_directory(temp / "inner"));
    // Text joined to the drive's path without a separator is taken from the
    // drive's root, never from a sibling whose name starts like the root.
    std::filesystem::create_directories(temp / "drive2");
    fs->CreateFolder(drive + "2");
    EXPECT_TRUE(std::filesystem::is_directory(temp / "drive/2"));
    // The application folder is a folder root: a sibling of it is no part of it.
    EXPECT_PLATFORM_ERROR(fs->FolderExists(app + "2"), "FolderExists", "not on the instrument");
    PathRoots sibling;  // with a program's folder beside the drive's, named like it
    sibling.Add(drive, PathRoots::Kind::kDrive);
    sibling.Add(drive + "2/upd");
    EXPECT_PLATFORM_ERROR(sibling.Resolve("t", drive + "2/upd/mtmp/a.bin"), "t", "could name");
    EXPECT_PLATFORM_ERROR(fs->CreateFolder("\\system"), "CreateFolder", "not on");
    EXPECT_PLATFORM_ERROR(host.GetRuntime().RemoveFile("/etc/hostname"), "RemoveFile", "not on");
    EXPECT_PLATFORM_ERROR(host.GetRuntime().FlushDrive("/"), "FlushDrive", "not on");
    EXPECT_THROW(host.CreateFileSystemObject("Scripting.Other"), PlatformError);
    EXPECT_EQ(LinuxPlatform().GetRuntime().ApplicationFolder(),
              std::filesystem::read_symlink("/proc/self/exe").parent_path().string());
}

// Thousands of new names in one folder cost one reading of the folder, and a
// name the run created is found in any case afterwards, until it is removed.
TEST(PathRoots, EachFolderIsReadOnceAndNamesHandedOutAreFoundInAnyCase) {
    TempFolder temp;
    PathRoots roots;
    roots.Add(temp.path(), PathRoots::Kind::kDrive);
    // Before any listed name shows whether the volume ignores case.
    std::filesystem::create_directory(temp / "empty");
    WriteFile(roots.Resolve("t", temp.path() + "\\empty\\a1"), "x");
    const bool ignores = std::filesystem::exists(temp / "empty/A1");
    EXPECT_EQ(roots.Resolve("t", temp.path() + "\\empty\\A1"),
              temp.path() + (ignores ? "/empty/A1" : "/empty/a1"));
    WriteFile(temp / "Old.bin", "x");
    for (int i = 0; i < 1000; ++i) {
        roots.Resolve("t", temp.path() + "\\new" + std::to_string(i));
    }
    WriteFile(roots.Resolve("t", temp.path() + "\\NEW7"), "x");
    const std::pair<const char*, const char*> cases[] = {
        {"\\new7", "/NEW7"}, {"\\old.BIN\\x", "/Old.bin/x"}, {"\\New8", "/New8"}};
    // FAT finds every existing name in the caller's spelling itself.
    const bool folds_case = std::filesystem::exists(temp / "OLD.BIN");
    for (const auto& [text, native] : cases) {
        EXPECT_EQ(roots.Resolve("t", temp.path() + text),
                  temp.path() + (folds_case ? Native(text) : native));
    }
    std::filesystem::remove(temp / "NEW7");
    EXPECT_EQ(roots.Resolve("t", temp.path() + "\\new7"), temp / "new7");
    EXPECT_EQ(roots.FoldersRead(), 2);
}

// A staged file may be a symbolic link: it is found, sized and timed as the
// file it points to, and a link to nothing is no file.
TEST(LinuxFileSystem, FollowsSymbolicLinks) {
    LinuxRig<> rig;
    const auto fs = rig.Host().CreateFileSystemObject("Scripting.FileSystemObject");
    const std::string app = rig.App();
    WriteFile(app + "/real/a.bin", "12345", 1'600'000'000);
    std::error_code no_links;
    std::filesystem::create_symlink("real/a.bin", app + "/link.bin", no_links);
    if (no_links) {
        GTEST_SKIP() << "the temporary folder's file system has no symbolic links (FAT)";
    }
    std::filesystem::create_symlink("gone.bin", app + "/dangling.bin");
    EXPECT_TRUE(fs->FileExists(app + "\\link.bin"));
    EXPECT_FALSE(fs->FolderExists(app + "\\link.bin"));
    EXPECT_EQ(fs->GetFile(app + "\\link.bin")->Size(), 5u);
    EXPECT_EQ(rig.Host().GetRuntime().FileModifiedTime(app + "\\link.bin"),
              DateTime(std::chrono::seconds(1'600'000'000)));
    EXPECT_FALSE(fs->FileExists(app + "\\dangling.bin"));
}

// Only a volume mounted from a block device goes to the volume manager, and
// its answer is the result; the last mount on the drive's point counts.
TEST(LinuxRemoval, HandsTheDrivesBlockDeviceToTheVolumeManager) {
    const struct {
        std::vector<std::string> mounts;
        bool answer;
        bool removed;
        const char* asked;
    } cases[] = {{{"vfat /dev/sdz1"}, true, true, "/dev/sdz1"},
                 {{"vfat /dev/sdz1"}, false, false, "/dev/sdz1"},
                 {{"vfat /dev/sdy1", "vfat /dev/sdz1"}, true, true, "/dev/sdz1"},
                 {{"vfat /dev/sdz1", "vfat /tmp/velno.img"}, true, false, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mounts.back() + (c.answer ? ", removal agreed" : ", removal refused"));
        TempFolder temp;
        std::string asked;
        LinuxHostOptions options = OptionsFor(temp, temp / "drive", temp.path(), c.mounts);
        options.remove_device = [&](const std::string& device) {
            asked = device;
            return c.answer;
        };
        LinuxPlatform host(options);
        EXPECT_EQ(host.GetRuntime().PrepareForRemoval(FirstDrive(host)->Path(), {}), c.removed);
        EXPECT_EQ(asked, c.asked);
        EXPECT_FALSE(host.GetRuntime().PrepareForRemoval("/", {})) << "a path on no drive";
    }
}

// Captured from a desktop machine, with a mount point holding escaped
// blanks, tabs and backslashes, several optional fields and a stray line.
constexpr const char* kMountInfo =
    "2 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw,errors=remount-ro\n"
    "25 22 0:22 / /proc rw,nosuid,nodev,noexec,relatime shared:12 - proc proc rw\n"
    "97 29 8:17 / /media/user/VELNO\\040DISK rw,nosuid,nodev,relatime shared:50 master:3 - vfat "
    "/dev/sdb1 rw,uid=1000,gid=1000,fmask=0022,dmask=0022,codepage=437\n"
    "this line is not a mount\n"
    "98 22 0:45 / /mnt/share rw,relatime - nfs4 server:/export rw,vers=4.2\n"
    "99 22 0:46 / /tmp/a\\134b\\011c rw,nosuid - fuse /tmp/img\\040x.fat rw,user_id=0\n"
    "100 22 8:1x / /bad rw - vfat /dev/sdc1 rw\n";  // a device number with junk

TEST(MountInfo, ParsesFieldsAndUnescapesPathsInMountOrder) {
    std::vector<std::string> mounts;
    for (const MountEntry& m : ParseMountInfo(kMountInfo)) {
        mounts.push_back(std::to_string(m.major) + ":" + std::to_string(m.minor) + " " +
                         m.mount_point + " " + m.file_system + " " + m.source);
    }
    EXPECT_EQ(mounts,
              (std::vector<std::string>{
                  "8:1 / ext4 /dev/sda1",  // a one-digit mount id is read whole
                  "0:22 /proc proc proc", "8:17 /media/user/VELNO DISK vfat /dev/sdb1",
                  "0:45 /mnt/share nfs4 server:/export", "0:46 /tmp/a\\b\tc fuse /tmp/img x.fat"}));
    EXPECT_TRUE(ParseMountInfo("1 2 3:4 / /x rw - \n").empty());
}

TEST(DriveType, ComesFromSysfsRemovableFlagTheSourceAndTheFileSystem) {
    // The model of /sys needs symbolic links, which a FAT volume in TMPDIR
    // cannot hold. /sys/dev/block/M:m links into /sys/devices.
    TempFolder sys("/tmp");
    WriteFile(sys / "devices/sdb/removable", "1\n");
    WriteFile(sys / "devices/sdb/sdb1/partition", "1\n");
    WriteFile(sys / "devices/sda/removable", "0\n");
    std::filesystem::create_directories(sys / "dev/block");
    std::filesystem::create_directory_symlink("../../devices/sdb/sdb1", sys / "dev/block/8:17");
    std::filesystem::create_directory_symlink("../../devices/sdb", sys / "dev/block/8:16");
    std::filesystem::create_directory_symlink("../../devices/sda", sys / "dev/block/8:0");
    WriteFile(sys / "image.fat", "not probed here");
    const struct {
        unsigned major, minor;
        const char* fs;
        std::string source;
        int type;
    } cases[] = {{8, 17, "vfat", "/dev/sdb1", kDriveRemovable},
                 {8, 16, "vfat", "/dev/sdb", kDriveRemovable},
                 {8, 0, "ext4", "/dev/sda", kDriveFixed},
                 {7, 3, "vfat", "/dev/loop3", kDriveFixed},  // no sysfs entry
                 {0, 46, "fuse", sys / "image.fat", kDriveFixed},
                 {0, 45, "nfs4", "server:/export", kDriveNetwork},
                 {8, 33, "cifs", "//server/share", kDriveNetwork},
                 {0, 30, "tmpfs", "tmpfs", kDriveRamDisk},
                 {0, 22, "proc", "proc", kDriveUnknown},
                 {0, 47, "fuse", sys / "gone.fat", kDriveUnknown}};
    for (const auto& c : cases) {
        EXPECT_EQ(ClassifyDrive(MountEntry{c.major, c.minor, "/m", c.fs, c.source}, sys.path()),
                  c.type)
            << c.source;
    }
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
    EXPECT_EQ(SerialFromUuid("1a2b-3c4d"), 0x1A2B3C4D);
    EXPECT_EQ(SerialFromUuid("0A1B2C3D4E5F6071"), 0x4E5F6071);  // NTFS: low 32 bits
    EXPECT_EQ(SerialFromUuid("3e6be9de-8139-4c3a-9106-a43f08d823a6"), 0);
    EXPECT_EQ(SerialFromUuid("1A2B-3C4G"), 0);
    EXPECT_EQ(DecodeUdevEscapes("A\\x2"), "A\\x2");
}

// Images made with mkfs.fat (and mke2fs), each listed as mounted with its kernel
// type: only FAT is read, and only under a type that can mount it (FAT, FUSE).
TEST(ImageProbe, ReadsLabelVersionAndSerialOrGivesTheKernelsName) {
    if (!HaveProgram("mkfs.fat")) {
        GTEST_SKIP() << "mkfs.fat (dosfstools) is not installed";
    }
    TempFolder folder;
    const struct {
        const char* make;
        const char* kernel_type;
        const char* label;
        const char* version;
        std::int32_t serial;
    } cases[] = {
        {"mkfs.fat -C -F 32 -n VELNO -i 1A2B3C4D IMG 40000", "fuse", "VELNO", "FAT32", 0x1A2B3C4D},
        {"mkfs.fat -C -F 16 -n 'NOT VELNO' -i 9ABCDEF0 IMG 16000", "vfat", "NOT VELNO", "FAT16",
         static_cast<std::int32_t>(0x9ABCDEF0u)},
        {"mkfs.fat -C -F 12 -n SMALL -i 00000000 IMG 1000", "msdos", "SMALL", "FAT12", 0},
        {"mke2fs -q -F -t ext2 -L VELNO IMG 2048", "fuse", "", "fuse", 0},
        {"mkfs.fat -C -F 32 -n VELNO IMG 40000", "ext4", "", "ext4", 0},  // not even opened
        {"mkfs.fat -C -F 32 -n VELNO -i 0BADF00D IMG 40000", "fuse.fusefat", "VELNO", "FAT32",
         0x0BADF00D}};
    int number = 0;
    for (const auto& c : cases) {
        const std::string image = folder / ("image" + std::to_string(++number));
        std::string make = c.make;
        if (!HaveProgram(make.substr(0, make.find(' ')))) {
            continue;
        }
        ASSERT_EQ(Shell(make.replace(make.find("IMG"), 3, image) + " >/dev/null 2>&1"), 0);
        LinuxHostOptions options =
            OptionsFor(folder, folder.path(), folder.path(), {c.kernel_type + (" " + image)});
        options.drive_sources.sysfs_root = folder / "nosys";
        LinuxPlatform host(options);
        const auto drive = FirstDrive(host);
        SCOPED_TRACE(c.make);
        EXPECT_EQ(drive->VolumeName(), c.label);
        EXPECT_EQ(drive->FileSystem(), c.version);
        EXPECT_EQ(drive->SerialNumber(), c.serial);
        EXPECT_EQ(drive->RootFolder(), folder.path() + "/");
    }
}

TEST(DriveList, IsReadAfreshAtEveryWalk) {
    TempFolder folder;
    LinuxPlatform host(OptionsFor(folder, folder / "first", folder.path()));
    const auto drives = host.CreateFileSystemObject("Scripting.FileSystemObject")->Drives();
    ASSERT_EQ(drives->Walk().size(), 1u);
    std::ofstream(folder / "mountinfo", std::ios::app)
        << "32 1 0:0 / " + folder.path() + "/second\\040one rw - nfs s:/x rw\n";
    const auto walked = drives->Walk();
    ASSERT_EQ(walked.size(), 2u);
    EXPECT_EQ(walked[1]->Path(), folder.path() + "/second one");
    EXPECT_EQ(walked[1]->DriveType(), kDriveNetwork);
    EXPECT_FALSE(walked[1]->IsReady());  // its mount point does not exist
    std::filesystem::create_directory(folder / "second one");
    EXPECT_FALSE(walked[1]->IsReady());  // nor is its folder on the volume 0:0
    EXPECT_PLATFORM_ERROR(walked[1]->Space(), "Space", "no longer mounted");
    EXPECT_EQ(walked[1]->FileSystem(), "nfs");
    std::filesystem::remove(folder / "mountinfo");
    EXPECT_THROW(drives->Walk(), PlatformError);
}

// The fault matrix's rig: the instrument a small tmpfs in a mount namespace
// of this process, bound onto the drive's folder while the program runs and
// listed in the rig's own mount table as a VELNO FAT32 volume (its label read
// from an image made with mkfs.fat). The drive vanishes as when a cable is
// pulled from an fstab mount: the mount goes, its folder stays.
class TmpfsRig : public LinuxRig<fault_test::Rig> {
public:
    TmpfsRig() {
        std::filesystem::remove(drive_ + "/scratch");  // the contract's, not the matrix's
        std::filesystem::create_directory(store_);
        EXPECT_EQ(Shell("mkfs.fat -C -F 32 -n VELNO -i 1A2B3C4D " + temp_ / "label.img" +
                        " 40000 >/dev/null"),
                  0);
    }
    ~TmpfsRig() override {
        Detach();
        ::umount2(store_.c_str(), MNT_DETACH);
    }

    std::string Unsupported(Fault) override { return {}; }
    std::string Drive() override { return store_; }

    void Clear() override {
        Detach();
        ::umount2(store_.c_str(), MNT_DETACH);
        // Room for the update and not much more, so that it is quick to fill.
        EXPECT_EQ(::mount("tmpfs", store_.c_str(), "tmpfs", 0, "size=512k"), 0) << store_;
        std::filesystem::remove_all(app_);
        WriteFile(temp_ / "mountinfo", "50 1 " + DeviceNumbers(store_) + " / " + drive_ +
                                           " rw - vfat " + temp_ / "label.img" + " rw\n");
    }

    void Attach() override {
        std::filesystem::remove_all(drive_);  // what a run left there, reported by now
        std::filesystem::create_directories(drive_);
        EXPECT_EQ(::mount(store_.c_str(), drive_.c_str(), nullptr, MS_BIND, nullptr), 0);
    }

    void Detach() override {
        ::umount2(drive_.c_str(), MNT_DETACH);
        std::filesystem::remove(store_ + "/filler.bin");
    }

    void Inject(Fault fault) override {
        if (fault == Fault::kVanish) {
            ::umount2(drive_.c_str(), MNT_DETACH);
            return;
        }
        const int file = ::open((store_ + "/filler.bin").c_str(), O_WRONLY | O_CREAT, 0644);
        const std::string block(4096, 'f');
        while (::write(file, block.data(), block.size()) > 0) {
        }
        ::close(file);
    }

    fault_test::Tree Instrument() override {
        fault_test::Tree tree = Entries(store_, true);
        for (const auto& [path, entry] : Entries(drive_, false)) {
            tree["(left in the mount point) " + path] = entry;
        }
        return tree;
    }

private:
    const std::string store_ = temp_ / "store";
};

TEST(LinuxFaultMatrix, EveryOperationFailingVanishingOrFullIsSurvived) {
    if (::geteuid() != 0 || !HaveProgram("mkfs.fat") || ::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        GTEST_SKIP() << "mounting a volume in a mount namespace of its own needs root and mkfs.fat";
    }
    TmpfsRig rig;
    EXPECT_GT(fault_test::RunFaultMatrix(rig, "Linux (tmpfs)"), 0);
}

}  // namespace
}  // namespace velno::platform::linux_host

namespace velno::host_test {
std::unique_ptr<HostRig> MakeHostRig(std::string&) {
    return std::make_unique<platform::linux_host::LinuxRig<>>();
}
}  // namespace velno::host_test
