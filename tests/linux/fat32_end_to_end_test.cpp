// The whole updater through the Linux host on a real FAT32 volume mounted
// with FUSE: detection, the update, and the volume checked afterwards with
// fsck.fat and mtools.

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <deque>
#include <filesystem>
#include <map>

#include "app/form1.h"
#include "fuse_fat.h"
#include "platform/linux/linux_platform.h"
#include "test_support.h"

namespace velno::linux_test {
namespace {

using platform::Answer;
using platform::linux_host::LinuxPlatform;

// Times far apart, so that fusefat's month shift cannot change their order.
constexpr timespec kStagedTime = {1'683'368'431, 500'000'000};  // 2023-05-06 10:20:31.5
constexpr time_t kInstalledTime = 1'683'368'432;                // rounded up to 2 s
constexpr timespec kOlder = {1'577'836'800, 0};                 // 2020
constexpr timespec kNewer = {1'893'456'000, 0};                 // 2030
constexpr timespec kImageTime = {1'622'505'600, 0};             // 2021
constexpr timespec kSavedTime = {1'546'300'800, 0};             // 2019

class ScriptedUser : public platform::UserServices {
public:
    std::deque<Answer> answers;
    std::vector<std::string> messages;
    int pumps = 0;

    Answer ShowMessage(const std::string& text, platform::Buttons, platform::Icon) override {
        messages.push_back(text);
        if (answers.empty()) {
            return Answer::kClosed;
        }
        const Answer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void PumpEvents() override { ++pumps; }
};

class RecordingView : public app::View {
public:
    std::string caption;
    std::map<update::Control, bool> visible;
    std::map<update::Control, bool> enabled;
    std::vector<float> progress;

    void SetCaption(const std::string& text) override { caption = text; }
    void SetVisible(update::Control control, bool value) override { visible[control] = value; }
    void SetEnabled(update::Control control, bool value) override { enabled[control] = value; }
    void SetProgressValue(float value) override { progress.push_back(value); }
    float ProgressMax() override { return 100; }
};

// Every file below the folder with its content and time, except the
// volume's image and mount point.
std::map<std::string, std::string> Snapshot(const std::string& folder,
                                            const FuseFatVolume& volume) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        const std::string path = entry.path().string();
        if (path == volume.image() || path.starts_with(volume.mount_point())) {
            continue;
        }
        files[path] = entry.is_regular_file()
                          ? ReadFile(path) + "@" + std::to_string(ModifiedOf(path).tv_sec) + "." +
                                std::to_string(ModifiedOf(path).tv_nsec)
                          : "folder";
    }
    return files;
}

class Fat32EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string why = FuseFatUnavailable(); !why.empty()) {
            GTEST_SKIP() << why;
        }
        private_namespace_ = UsePrivateMountNamespace();
        volume_ = std::make_unique<FuseFatVolume>(temp_.path(), "VELNO", "1A2B3C4D");
    }

    // A file with content and time on the unmounted image, through mtools.
    void Put(const std::string& path, const std::string& content, timespec time) {
        WriteFile(temp_ / "seed.tmp", content, time);
        volume_->Put(temp_ / "seed.tmp", path);
        std::filesystem::remove(temp_ / "seed.tmp");
    }

    // Mounts the volume and makes sure detection finds it first. Another
    // VELNO volume mounted before this process (by another test run, say) is
    // unmounted from this process's private view only; without a private
    // view the test is skipped, so that no other volume is ever changed.
    void MountAndCheckItIsFoundFirst(LinuxPlatform& host) {
        ASSERT_TRUE(volume_->Mount()) << "fusefat did not mount " << volume_->image();
        const auto fs = host.CreateFileSystemObject("Scripting.FileSystemObject");
        for (int attempt = 0; attempt < 10; ++attempt) {
            const std::string found = FirstInstrumentDrive(*fs);
            ASSERT_FALSE(found.empty()) << "the mounted volume is not listed as the instrument";
            if (found == volume_->mount_point()) {
                return;
            }
            if (!private_namespace_ || ::umount2(found.c_str(), 0) != 0) {
                GTEST_SKIP() << "another VELNO volume is mounted at " << found;
            }
        }
        FAIL() << "too many other VELNO volumes";
    }

    static std::string FirstInstrumentDrive(platform::FileSystemObject& fs) {
        for (const auto& drive : fs.Drives()->Walk()) {
            if (drive->DriveType() == platform::kDriveFixed && drive->IsReady() &&
                drive->VolumeName() == "VELNO" && drive->FileSystem() == "FAT32") {
                return drive->Path();
            }
        }
        return {};
    }

    TempFolder temp_;
    std::unique_ptr<FuseFatVolume> volume_;
    bool private_namespace_ = false;
};

TEST_F(Fat32EndToEnd, CopyKeepsTheStagedTimeRoundedUpToTheVolumesTwoSeconds) {
    WriteFile(temp_ / "app/mtmp/a.bin", "staged", kStagedTime);
    LinuxPlatform host({.application_folder = temp_ / "app", .drive_sources = {}});
    MountAndCheckItIsFoundFirst(host);
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    const auto fs = host.CreateFileSystemObject("Scripting.FileSystemObject");
    std::string drive;
    for (const auto& candidate : fs->Drives()->Walk()) {
        if (candidate->Path() == volume_->mount_point()) {
            drive = candidate->Path();
        }
    }
    const std::string app = host.GetRuntime().ApplicationFolder();
    fs->CopyFile(app + "\\mtmp\\a.bin", drive + "\\a.bin", true, {});
    const timespec kept = ModifiedOf(volume_->mount_point() + "/a.bin");
    EXPECT_EQ(kept.tv_sec, kInstalledTime);
    EXPECT_EQ(kept.tv_nsec, 0);
    // A second run finds the installed file up to date.
    EXPECT_GE(host.GetRuntime().FileModifiedTime(drive + "\\A.BIN"),
              host.GetRuntime().FileModifiedTime(app + "\\mtmp\\a.bin"));
    volume_->Unmount();
    EXPECT_TRUE(volume_->Consistent());
    EXPECT_EQ(volume_->Type("::/a.bin"), "staged");
    EXPECT_EQ(volume_->Listing(), "::/a.bin\n");
}

TEST_F(Fat32EndToEnd, DetectionAndTheWholeUpdateRunThroughTheLinuxHost) {
    // The instrument as it was before the update.
    for (const char* folder :
         {"::/system", "::/system/init", "::/system/data", "::/system/OldRel"}) {
        volume_->MakeFolder(folder);
    }
    Put("::/system/init/startup.ini", "settings", kOlder);
    Put("::/system/data/upd.bin", "installed upd", kOlder);
    Put("::/system/data/keep.bin", "installed keep", kNewer);
    Put("::/system/data/old.bin", "to delete", kOlder);
    Put("::/Veln4main.mem", "main image", kImageTime);
    Put("::/Veln4sub.mem", "sub image", kImageTime);
    Put("::/system/OldRel/Veln4sub.mem", "saved sub", kSavedTime);
    Put("::/readme.txt", "not touched", kOlder);

    // The staging folder next to the program.
    WriteFile(temp_ / "app/mtmp/position.txt",
              "\\system\\data\\upd.bin\r\n\\system\\data\\keep.bin\r\n-\\system\\data\\old.bin\r\n"
              "\\system\\newdir\\new.bin\r\n\\system\\data\\missing.bin\r\n"
              "-\\system\\data\\absent.bin\r\n",
              kOlder);
    WriteFile(temp_ / "app/mtmp/upd.bin", "new upd", kStagedTime);
    WriteFile(temp_ / "app/mtmp/keep.bin", "new keep", kStagedTime);
    WriteFile(temp_ / "app/mtmp/new.bin", "new file", kStagedTime);
    WriteFile(temp_ / "app/updater", "the program", kOlder);
    WriteFile(temp_ / "beside.txt", "next to the program", kOlder);

    LinuxPlatform host({.application_folder = temp_ / "app", .drive_sources = {}});
    MountAndCheckItIsFoundFirst(host);
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    const auto before = Snapshot(temp_.path(), *volume_);

    ScriptedUser user;
    user.answers = {Answer::kOk};  // "File missing.bin not found"
    RecordingView view;
    app::Form1 form(host, user, view);
    ASSERT_TRUE(app::RunAtEventBoundary(user, [&form] { form.DetectInstrument(); }))
        << (user.messages.empty() ? "" : user.messages.back());
    EXPECT_EQ(view.caption, "VELNO4 updater     Serial N.  1A2B3C4D");
    EXPECT_EQ(form.Instrument().drive_path, volume_->mount_point());
    ASSERT_TRUE(app::RunAtEventBoundary(user, [&form] { form.DispatchCommand(0); }))
        << (user.messages.empty() ? "" : user.messages.back());
    EXPECT_TRUE(form.Completed());
    EXPECT_EQ(user.messages, std::vector<std::string>{"File missing.bin not found"});
    EXPECT_EQ(user.pumps, 6);
    EXPECT_EQ(view.progress, (std::vector<float>{0, 0, 16, 33, 50, 66, 83}));
    EXPECT_TRUE(view.visible[update::Control::kLabel1]);
    EXPECT_TRUE(view.enabled[update::Control::kExitButton]);
    EXPECT_FALSE(view.enabled[update::Control::kStartButton]);

    // Times as the mounted volume gives them back.
    const std::string mnt = volume_->mount_point();
    EXPECT_EQ(ModifiedOf(mnt + "/system/data/upd.bin").tv_sec, kInstalledTime);
    EXPECT_EQ(ModifiedOf(mnt + "/system/newdir/new.bin").tv_sec, kInstalledTime);
    EXPECT_GT(ModifiedOf(mnt + "/SYSTEM/DATA/KEEP.BIN").tv_sec, kInstalledTime);
    volume_->Unmount();

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
              "::/system/newdir/new.bin\n");
    EXPECT_EQ(volume_->Type("::/system/OldRel/Veln4main.mem"), "main image");
    EXPECT_EQ(volume_->Type("::/system/OldRel/Veln4sub.mem"), "sub image");
    EXPECT_EQ(volume_->Type("::/system/data/upd.bin"), "new upd");
    EXPECT_EQ(volume_->Type("::/system/data/keep.bin"), "installed keep");
    EXPECT_EQ(volume_->Type("::/system/newdir/new.bin"), "new file");
    EXPECT_EQ(volume_->Type("::/readme.txt"), "not touched");
    EXPECT_EQ(Snapshot(temp_.path(), *volume_), before);
}

}  // namespace
}  // namespace velno::linux_test
