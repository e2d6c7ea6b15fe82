// The whole updater through the Linux host on a FAT32 volume mounted with
// FUSE, the volume checked afterwards with fsck.fat and mtools.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "app/form1.h"
#include "fake/fake_host.h"
#include "fuse_fat.h"
#include "platform/linux/linux_platform.h"
#include "test_support.h"
#include "update/messages.h"

namespace velno::linux_test {
namespace {

using platform::Answer;
using platform::linux_host::LinuxPlatform;

// The staged files' time, odd and fractional, and as the volume keeps it,
// rounded up to its two seconds; older than the instrument's kept file.
constexpr timespec kStagedTime = {1'683'368'431, 500'000'000};  // 2023-05-06 10:20:31.5
constexpr time_t kInstalledTime = 1'683'368'432;
constexpr timespec kOlder = {1'577'836'800, 0};  // 2020

class Fat32EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string why = FuseFatUnavailable(); !why.empty()) {
            GTEST_SKIP() << why;
        }
        volume_ = std::make_unique<FuseFatVolume>(temp_ / "volume", "VELNO", "1A2B3C4D");
    }

    TempFolder temp_;
    std::unique_ptr<FuseFatVolume> volume_;
};

TEST_F(Fat32EndToEnd, DetectionAndTheWholeUpdateRunThroughTheLinuxHost) {
    // The instrument as it was before the update.
    volume_->PutInstrument(fault_test::TypicalUpdate());

    // The staging folder next to the program.
    WriteFile(temp_ / "app/mtmp/position.txt",
              "\\system\\data\\upd.bin\r\n\\system\\data\\keep.bin\r\n-\\system\\data\\old.bin\r\n"
              "\\system\\newdir\\sub\\new.bin. \r\n\\system\\data\\missing.bin\r\n"
              "-\\system\\data\\absent.bin\r\n",
              kOlder);
    WriteFile(temp_ / "app/mtmp/upd.bin", "new upd", kStagedTime);
    WriteFile(temp_ / "app/mtmp/keep.bin", "new keep", kStagedTime);
    WriteFile(temp_ / "app/mtmp/new.bin", "new file", kStagedTime);
    // Beside the program and the staging folder: nothing here may change.
    WriteFile(temp_ / "app/updater", "the program", kOlder);
    WriteFile(temp_ / "beside.txt", "next to the program", kOlder);
    const auto before = Snapshot(temp_.path(), temp_ / "volume");

    LinuxPlatform host({.application_folder = temp_ / "app", .drive_sources = {}});
    if (!HideOtherInstruments(host)) {
        GTEST_SKIP() << "another VELNO volume is mounted and cannot be hidden from this test";
    }
    ASSERT_TRUE(volume_->Mount()) << "fusefat did not mount " << volume_->image();

    fake::CallLog log;
    fake::FakeUser user(log);
    fake::RecordingView view(log);
    user.AnswerAlways(Answer::kOk);
    app::Form1 form(host, user, view);
    ASSERT_TRUE(app::RunAtEventBoundary(user, [&form] { form.DetectInstrument(); }))
        << (user.messages.empty() ? "" : user.messages.back());
    EXPECT_EQ(view.caption, std::string(app::kCaptionPrefix) + "1A2B3C4D");
    ASSERT_EQ(form.Instrument().drive_path, volume_->mount_point());
    ASSERT_TRUE(app::RunAtEventBoundary(user, [&form] { form.DispatchCommand(0); }))
        << (user.messages.empty() ? "" : user.messages.back());
    EXPECT_TRUE(form.Completed());
    EXPECT_EQ(user.messages, std::vector<std::string>{update::MissingFileMessage("missing.bin")});
    // One per entry, and at least one in each of the two copies, between
    // writing the file and reading it back (more while a slow flush runs).
    EXPECT_GE(log.Count("PumpEvents"), 8);
    EXPECT_EQ(view.progress_values, (std::vector<float>{0, 0, 16, 33, 50, 66, 83}));

    // Times as the mounted volume gives them back: the staged time rounded
    // up to the volume's two seconds, so a second run finds them up to date.
    const std::string mnt = volume_->mount_point();
    for (const char* copied : {"/system/data/upd.bin", "/system/newdir/sub/new.bin"}) {
        const timespec kept = ModifiedOf(mnt + copied);
        EXPECT_EQ(kept.tv_sec, kInstalledTime) << copied;
        EXPECT_EQ(kept.tv_nsec, 0) << copied;
    }
    EXPECT_GT(ModifiedOf(mnt + "/SYSTEM/DATA/KEEP.BIN").tv_sec, kInstalledTime);
    volume_->Unmount();

    EXPECT_EQ(Snapshot(temp_.path(), temp_ / "volume"), before);
    EXPECT_TRUE(volume_->Consistent());
    EXPECT_EQ(volume_->Listing(),
              "::/readme.txt\n"
              "::/system/\n"
              "::/system/OldRel/\n"
              "::/system/OldRel/Veln4main.mem\n"
              "::/system/OldRel/Veln4sub.mem\n"
              "::/system/data/\n"
              "::/system/data/keep.bin\n"
              "::/system/data/upd.bin\n"
              "::/system/init/\n"
              "::/system/newdir/\n"
              "::/system/newdir/sub/\n"
              "::/system/newdir/sub/new.bin\n");
    const std::pair<const char*, const char*> contents[] = {
        {"::/system/OldRel/Veln4main.mem", "main image"},
        {"::/system/OldRel/Veln4sub.mem", "sub image"},
        {"::/system/data/upd.bin", "new upd"},
        {"::/system/data/keep.bin", "installed keep"},
        {"::/system/newdir/sub/new.bin", "new file"},
        {"::/readme.txt", "not touched"}};
    for (const auto& [path, content] : contents) {
        EXPECT_EQ(volume_->Type(path), content) << path;
    }
}

}  // namespace
}  // namespace velno::linux_test
