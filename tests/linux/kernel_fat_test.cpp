// The whole updater through the Linux host on the kernel's FAT driver, as the
// volume's ordinary owner, in the VM of scripts/vfat/run-in-vm.sh (which
// names the mount point in VELNO_VFAT_MOUNT and runs fsck.fat -n afterwards).

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <linux/msdos_fs.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "app/form1.h"
#include "fake/fake_host.h"
#include "fault/fault_matrix.h"
#include "platform/linux/linux_platform.h"
#include "test_support.h"

namespace velno::linux_test {
namespace {

using ::testing::HasSubstr;

constexpr time_t kStagedSeconds = 1'683'368'431;

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
        for (const auto& file : fault_test::TypicalUpdate().staging) {
            WriteFile(app_ / file.path, file.content, file.seconds);
        }
    }

    fault_test::Tree Volume() const { return Entries(mount_, true); }

    // Detection and the press of "Start Updating"; true when both completed.
    bool RunUpdater() {
        app::Form1 form(host_, user_, view_);
        return fake::DetectAndStart(
            form, user_, [&form, this] { return form.Instrument().drive_path == mount_; });
    }

    // A run of the prepared instrument that ends, with the one message, before any change.
    void ExpectRefusedWithoutChange(const ::testing::Matcher<std::string>& message) {
        const auto before = Volume();
        ASSERT_EQ(before.at("system/"), "#6") << "the instrument was not prepared";
        EXPECT_FALSE(RunUpdater());
        EXPECT_THAT(user_.messages, ::testing::ElementsAre(message));
        EXPECT_EQ(Volume(), before);
    }

    std::string mount_;
    TempFolder app_;
    platform::linux_host::LinuxPlatform host_{
        {.application_folder = app_.path(), .drive_sources = {}}};
    fake::CallLog log_;
    fake::FakeUser user_{log_};
    fake::RecordingView view_{log_};
};

// The fault matrix's typical update, with a desktop instrument's attributes.
TEST_F(KernelFat, TheOwnersUpdateEndsWithTheSystemFolderHiddenAndSystem) {
    const fault_test::Tree before = Volume();
    ASSERT_EQ(before.at("system/"), "#6") << "the instrument was not prepared";
    ASSERT_TRUE(RunUpdater()) << ::testing::PrintToString(user_.messages);
    EXPECT_EQ(view_.caption, "VELNO4 updater     Serial N.  1A2B3C4D");
    EXPECT_EQ(user_.messages, std::vector<std::string>{"File missing.bin not found"});
    const fault_test::Tree after = Volume();
    EXPECT_EQ(fault_test::UpdateProblems(before, after, false), "");
    EXPECT_EQ(after.at("system/"), "#6");
    EXPECT_TRUE(after.at("system/data/upd.bin").ends_with("#0")) << "read-only kept";
}

// The first step of the checks above and below, on the desktop's mount: the
// instrument before the update, with a hidden, system \system, a read-only
// file to replace, and a hidden and a system image in the root.
TEST_F(KernelFat, PrepareInstrument) {
    for (const auto& file : fault_test::TypicalUpdate().instrument) {
        WriteFile(mount_ + "/" + file.path, file.content, file.seconds);
    }
    const std::pair<const char*, unsigned> attributes[] = {{"/system/data/upd.bin", ATTR_RO},
                                                           {"/Veln4hid.mem", ATTR_HIDDEN},
                                                           {"/Veln4sys.mem", ATTR_SYS},
                                                           {"/system", ATTR_HIDDEN | ATTR_SYS}};
    for (const auto& [path, bits] : attributes) {
        if (!std::filesystem::exists(mount_ + path)) {
            WriteFile(mount_ + path, path, 1'622'505'600);
        }
        SetFatAttributes(mount_ + path, bits);
    }
    EXPECT_EQ(FatAttributes(mount_ + "/system"), unsigned{ATTR_HIDDEN | ATTR_SYS});
}

TEST_F(KernelFat, SysImmutableEndsTheRunBeforeAnythingChanges) {
    ASSERT_EQ(Output("grep -c ' " + mount_ + " .*sys_immutable' /proc/self/mountinfo"), "1\n")
        << "the volume is not mounted with sys_immutable";
    ExpectRefusedWithoutChange(
        ::testing::AllOf(HasSubstr("SetAttributes"), HasSubstr("sys_immutable")));
}

// The staged file lies in the guest's memory, so only a read-back of the
// copy from the device reads the disk's sectors.
TEST_F(KernelFat, ACopyIsReadBackFromTheDevice) {
    WriteFile(app_ / "mtmp/big.bin", std::string(std::size_t{4} << 20, 'v'), kStagedSeconds);
    ASSERT_TRUE(fake::DriveAt(host_, mount_));  // a drive's path is one the host then accepts
    const auto sectors_read = [] {
        unsigned long long reads = 0, merged = 0, sectors = 0;
        std::istringstream(ReadFile("/sys/block/vda/stat")) >> reads >> merged >> sectors;
        return sectors;
    };
    const auto before = sectors_read();
    host_.CreateFileSystemObject("Scripting.FileSystemObject")
        ->CopyFile(app_.path() + "\\mtmp\\big.bin", mount_ + "\\big.bin", true, nullptr);
    EXPECT_GE(sectors_read() - before, (std::size_t{4} << 20) / 512);
}

// Third step after the refused sys_immutable run, on the desktop's mount:
// the kernel counts the room in clusters, so a written MiB lowers it by
// exactly that, and a run whose copies do not fit ends before any change.
TEST_F(KernelFat, ARunThatDoesNotFitEndsBeforeAnythingChanges) {
    const auto drive = fake::DriveAt(host_, mount_);
    ASSERT_TRUE(drive);
    const std::uint64_t free_bytes = drive->Space().free_bytes;
    WriteFile(mount_ + "/filler.bin", std::string(std::size_t{1} << 20, 'f'));
    EXPECT_EQ(free_bytes - drive->Space().free_bytes, std::uint64_t{1} << 20);
    std::filesystem::remove(mount_ + "/filler.bin");
    WriteFile(app_ / "mtmp/new.bin", std::string(free_bytes + (1 << 20), 'n'), kStagedSeconds);
    ExpectRefusedWithoutChange(HasSubstr("Nothing was changed."));
}

// scripts/vfat/power-cut-sweep.sh: images of the volume before the update, after
// its clean run and as a cut left it (mounted here). Every file is old or new, and
// the next run finishes the update; fsck.fat's FSCKnnnn.REC files are passed over.
TEST_F(KernelFat, AfterAPowerCutEveryFileIsOldOrNewAndARunFinishesTheUpdate) {
    if (std::getenv("VELNO_CUT") == nullptr) {
        GTEST_SKIP() << "runs in scripts/vfat/power-cut-sweep.sh";
    }
    const auto passed_over = [](fault_test::Tree tree, bool temporary_copies) {
        std::erase_if(tree, [&](const auto& entry) {
            const std::string name = std::filesystem::path(entry.first).filename();
            return name.starts_with("FSCK") ||
                   (temporary_copies && platform::IsTemporaryCopy(name));
        });
        return tree;
    };
    const fault_test::Tree reference = ImageEntries(std::getenv("VELNO_CUT_REFERENCE"));
    EXPECT_EQ(fault_test::Losses(ImageEntries(std::getenv("VELNO_CUT_BEFORE")), reference,
                                 passed_over(ImageEntries(std::getenv("VELNO_CUT")), true)),
              "");
    ASSERT_TRUE(RunUpdater()) << ::testing::PrintToString(user_.messages);
    EXPECT_EQ(fault_test::Differences(reference, passed_over(Entries(mount_, false), false)), "");
}

}  // namespace
}  // namespace velno::linux_test
