#include <gtest/gtest.h>

#include "app/form1.h"
#include "platform/win32/drives.h"
#include "platform/win32/win32_platform.h"
#include "test_folder.h"

namespace velno::platform::win32 {
namespace {

std::shared_ptr<Drive> DriveAt(const std::string& path) {
    for (const auto& drive : Win32DriveCollection().Walk()) {
        if (drive->Path() == path) {
            return drive;
        }
    }
    return nullptr;
}

TEST(Win32Drives, TheRigDriveIsAFixedReadyFat32VolumeWithItsSerial) {
    if (!velno::win32::testing::RigDriveReady()) {
        GTEST_SKIP() << "drive E: is not the rig's VELNO volume";
    }
    const auto drive = DriveAt("E:");
    ASSERT_NE(drive, nullptr);
    EXPECT_EQ(drive->DriveType(), kDriveFixed);
    EXPECT_TRUE(drive->IsReady());
    EXPECT_EQ(drive->VolumeName(), "VELNO");
    EXPECT_EQ(drive->FileSystem(), "FAT32");
    EXPECT_EQ(drive->SerialNumber(), 0x1A2B3C4D);
    EXPECT_EQ(drive->RootFolder(), "E:\\");

    // The removable drive carries the same label and file system.
    const auto removable = DriveAt("F:");
    ASSERT_NE(removable, nullptr);
    EXPECT_EQ(removable->DriveType(), kDriveRemovable);
    EXPECT_EQ(removable->VolumeName(), "VELNO");
}

TEST(Win32Drives, AMissingDriveIsNotReadyAndItsLabelReadFailsWithTheSystemsMessage) {
    Win32Drive missing(L"B:\\");
    EXPECT_FALSE(missing.IsReady());
    try {
        missing.VolumeName();
        FAIL() << "no error";
    } catch (const PlatformError& error) {
        EXPECT_EQ(error.Operation(), "VolumeName");
        EXPECT_EQ(error.Paths(), std::vector<std::string>{"B:"});
        EXPECT_FALSE(error.SystemMessage().empty());
    }
}

class RecordingUser : public UserServices {
public:
    Answer ShowMessage(const std::string& text, Buttons, Icon) override {
        messages.push_back(text);
        return Answer::kCancel;
    }
    void PumpEvents() override {}
    std::vector<std::string> messages;
};

class RecordingView : public app::View {
public:
    void SetCaption(const std::string& text) override { caption = text; }
    void SetVisible(app::Control, bool) override {}
    void SetEnabled(app::Control, bool) override {}
    void SetProgressValue(float) override {}
    float ProgressMax() override { return 100; }
    std::string caption;
};

TEST(Win32Drives, DetectionFindsTheInstrumentDriveAndShowsItsSerial) {
    if (!velno::win32::testing::RigDriveReady()) {
        GTEST_SKIP() << "drive E: is not the rig's VELNO volume";
    }
    Win32Platform platform;
    RecordingUser user;
    RecordingView view;
    app::Form1 form(platform, user, view);
    ASSERT_TRUE(app::RunAtEventBoundary(user, [&] { form.DetectInstrument(); }));
    EXPECT_TRUE(user.messages.empty());
    EXPECT_EQ(form.Instrument().drive_path, "E:");
    EXPECT_EQ(view.caption, "VELNO4 updater     Serial N.  1A2B3C4D");
}

}  // namespace
}  // namespace velno::platform::win32
