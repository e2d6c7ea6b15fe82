// The whole updater through the Linux host on a FAT32 volume mounted by the
// kernel's vfat driver with a desktop's options, run as the volume's
// ordinary owner. It runs inside the VM of scripts/vfat/run-in-vm.sh, which
// names the mount point in VELNO_VFAT_MOUNT and checks the volume with
// fsck.fat -n afterwards.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

#include "app/form1.h"
#include "fake/fake_host.h"
#include "platform/linux/linux_platform.h"
#include "test_support.h"

namespace velno::linux_test {
namespace {

constexpr timespec kStagedTime = {1'683'368'431, 500'000'000};
constexpr timespec kOlder = {1'577'836'800, 0};
constexpr timespec kNewer = {1'893'456'000, 0};
constexpr timespec kImageTime = {1'622'505'600, 0};
constexpr timespec kSavedTime = {1'546'300'800, 0};

// The attribute byte as the kernel's FAT driver reads it.
unsigned FatAttributes(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    std::uint32_t attributes = 0;
    const int result = fd < 0 ? -1 : ::ioctl(fd, FAT_IOCTL_GET_ATTRIBUTES, &attributes);
    ::close(fd);
    EXPECT_EQ(result, 0) << path;
    return attributes & (ATTR_RO | ATTR_HIDDEN | ATTR_SYS);
}

void SetFatAttributes(const std::string& path, std::uint32_t attributes) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0) << path;
    const bool done = ::ioctl(fd, FAT_IOCTL_SET_ATTRIBUTES, &attributes) == 0;
    ::close(fd);
    ASSERT_TRUE(done) << path;
}

class KernelFat : public ::testing::Test {
protected:
    void SetUp() override {
        const char* mount = std::getenv("VELNO_VFAT_MOUNT");
        if (mount == nullptr) {
            GTEST_SKIP() << "runs in the VM of scripts/vfat/run-in-vm.sh";
        }
        mount_ = mount;
        user_.AnswerAlways(platform::Answer::kOk);
        // The staging folder next to the program, on the user's own disk.
        WriteFile(
            app_ / "mtmp/position.txt",
            "\\system\\data\\upd.bin\r\n\\system\\data\\keep.bin\r\n-\\system\\data\\old.bin\r\n"
            "\\system\\newdir\\new.bin\r\n\\system\\data\\missing.bin\r\n",
            kOlder);
        for (const char* name : {"upd.bin", "keep.bin", "new.bin"}) {
            WriteFile(app_ / "mtmp/" + name, std::string("new ") + name, kStagedTime);
        }
    }

    // The instrument before the update: a hidden, system \system, a
    // read-only file to replace, and images in the root of which the hidden
    // and the system one are no ordinary files.
    void PrepareInstrument() {
        const struct {
            const char* path;
            timespec time;
            std::uint32_t attributes;
        } files[] = {{"/system/init/startup.ini", kOlder, 0},
                     {"/system/data/upd.bin", kOlder, ATTR_RO},
                     {"/system/data/keep.bin", kNewer, 0},
                     {"/system/data/old.bin", kOlder, 0},
                     {"/system/OldRel/Veln4sub.mem", kSavedTime, 0},
                     {"/Veln4main.mem", kImageTime, 0},
                     {"/Veln4sub.mem", kImageTime, 0},
                     {"/Veln4hid.mem", kImageTime, ATTR_HIDDEN},
                     {"/Veln4sys.mem", kImageTime, ATTR_SYS},
                     {"/readme.txt", kOlder, 0}};
        for (const auto& file : files) {
            WriteFile(mount_ + file.path, std::string("was ") + file.path, file.time);
            SetFatAttributes(mount_ + file.path, file.attributes);
        }
        SetFatAttributes(mount_ + "/system", ATTR_HIDDEN | ATTR_SYS);
        EXPECT_EQ(FatAttributes(mount_ + "/system"), unsigned{ATTR_HIDDEN | ATTR_SYS});
    }

    // Every entry of the volume with its content, time and attributes.
    std::map<std::string, std::string> Volume() const {
        std::map<std::string, std::string> entries;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(mount_)) {
            const std::string path = entry.path().string();
            std::string& text = entries[path.substr(mount_.size())];
            if (entry.is_regular_file()) {
                const std::string content = ReadFile(path);
                text = (content.size() < 100 ? content : std::to_string(content.size())) + "@" +
                       std::to_string(ModifiedOf(path).tv_sec);
            }
            text += "#" + std::to_string(FatAttributes(path));
        }
        return entries;
    }

    // Detection and the press of "Start Updating"; true when both completed.
    bool RunUpdater() {
        platform::linux_host::LinuxPlatform host(
            {.application_folder = app_.path(), .drive_sources = {}});
        app::Form1 form(host, user_, view_);
        return app::RunAtEventBoundary(user_, [&form] { form.DetectInstrument(); }) &&
               form.Instrument().drive_path == mount_ &&
               app::RunAtEventBoundary(user_, [&form] { form.DispatchCommand(0); }) &&
               form.Completed();
    }

    std::string mount_;
    TempFolder app_;
    fake::CallLog log_;
    fake::FakeUser user_{log_};
    fake::RecordingView view_{log_};
};

TEST_F(KernelFat, TheOwnersUpdateEndsWithTheSystemFolderHiddenAndSystem) {
    PrepareInstrument();
    ASSERT_TRUE(RunUpdater()) << ::testing::PrintToString(user_.messages);
    EXPECT_EQ(view_.caption, "VELNO4 updater     Serial N.  1A2B3C4D");
    EXPECT_EQ(user_.messages, std::vector<std::string>{"File missing.bin not found"});

    std::map<std::string, std::string> expected = {
        {"/Veln4hid.mem", "was /Veln4hid.mem@1622505600#2"},
        {"/Veln4sys.mem", "was /Veln4sys.mem@1622505600#4"},
        {"/readme.txt", "was /readme.txt@1577836800#0"},
        {"/system", "#6"},
        {"/system/OldRel", "#0"},
        {"/system/OldRel/Veln4main.mem", "was /Veln4main.mem@1622505600#0"},
        {"/system/OldRel/Veln4sub.mem", "was /Veln4sub.mem@1622505600#0"},
        {"/system/data", "#0"},
        {"/system/data/keep.bin", "was /system/data/keep.bin@1893456000#0"},
        {"/system/data/upd.bin", "new upd.bin@1683368432#0"},
        {"/system/init", "#0"},
        {"/system/newdir", "#0"},
        {"/system/newdir/new.bin", "new new.bin@1683368432#0"}};
    EXPECT_EQ(Volume(), expected);
    // Installed times: the staged time's next 2 s step, never earlier.
    for (const char* copied : {"/system/data/upd.bin", "/system/newdir/new.bin"}) {
        const timespec kept = ModifiedOf(mount_ + copied);
        EXPECT_TRUE(kept.tv_sec > kStagedTime.tv_sec && kept.tv_sec < kStagedTime.tv_sec + 2)
            << copied;
    }
}

// The first step of the two-step check below, on the desktop's mount.
TEST_F(KernelFat, PrepareInstrument) { PrepareInstrument(); }

TEST_F(KernelFat, SysImmutableEndsTheRunBeforeAnythingChanges) {
    ASSERT_EQ(Output("grep -c ' " + mount_ + " .*sys_immutable' /proc/self/mountinfo"), "1\n")
        << "the volume is not mounted with sys_immutable";
    const auto before = Volume();
    ASSERT_EQ(before.at("/system"), "#6") << "the instrument was not prepared";

    EXPECT_FALSE(RunUpdater());
    ASSERT_EQ(user_.messages.size(), 1u);
    EXPECT_NE(user_.messages[0].find("SetAttributes"), std::string::npos) << user_.messages[0];
    EXPECT_NE(user_.messages[0].find("sys_immutable"), std::string::npos) << user_.messages[0];
    EXPECT_EQ(Volume(), before);
}

// The staged file lies in the guest's memory, so only a read-back of the
// copy from the device reads the disk's sectors.
TEST_F(KernelFat, ACopyIsReadBackFromTheDevice) {
    WriteFile(app_ / "mtmp/big.bin", std::string(std::size_t{4} << 20, 'v'), kStagedTime);
    platform::linux_host::LinuxPlatform host(
        {.application_folder = app_.path(), .drive_sources = {}});
    const auto fs = host.CreateFileSystemObject("Scripting.FileSystemObject");
    for (const auto& drive : fs->Drives()->Walk()) {
        drive->Path();  // a drive's path is one the host then accepts
    }
    const auto sectors_read = [] {
        unsigned long long reads = 0, merged = 0, sectors = 0;
        std::istringstream(ReadFile("/sys/block/vda/stat")) >> reads >> merged >> sectors;
        return sectors;
    };
    const auto before = sectors_read();
    fs->CopyFile(app_.path() + "\\mtmp\\big.bin", mount_ + "\\big.bin", true, nullptr);
    EXPECT_GE(sectors_read() - before, (std::size_t{4} << 20) / 512);
}

// Third step after the refused sys_immutable run, on the desktop's mount:
// the kernel counts the room in clusters, so a written MiB lowers it by
// exactly that, and a run whose copies do not fit ends before any change.
TEST_F(KernelFat, ARunThatDoesNotFitEndsBeforeAnythingChanges) {
    const auto before = Volume();
    ASSERT_EQ(before.at("/system"), "#6") << "the instrument was not prepared";
    platform::linux_host::LinuxPlatform host(
        {.application_folder = app_.path(), .drive_sources = {}});
    std::shared_ptr<platform::Drive> drive;
    for (const auto& each :
         host.CreateFileSystemObject("Scripting.FileSystemObject")->Drives()->Walk()) {
        drive = each->Path() == mount_ ? each : drive;
    }
    ASSERT_TRUE(drive);
    const std::uint64_t free_bytes = drive->Space().free_bytes;
    WriteFile(mount_ + "/filler.bin", std::string(std::size_t{1} << 20, 'f'));
    EXPECT_EQ(free_bytes - drive->Space().free_bytes, std::uint64_t{1} << 20);
    std::filesystem::remove(mount_ + "/filler.bin");

    WriteFile(app_ / "mtmp/new.bin", std::string(free_bytes + (1 << 20), 'n'), kStagedTime);
    EXPECT_FALSE(RunUpdater());
    ASSERT_EQ(user_.messages.size(), 1u);
    EXPECT_NE(user_.messages[0].find("Nothing was changed."), std::string::npos)
        << user_.messages[0];
    EXPECT_EQ(Volume(), before);
}

}  // namespace
}  // namespace velno::linux_test
