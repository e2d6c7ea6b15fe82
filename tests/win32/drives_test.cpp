#include <gtest/gtest.h>

#include "app/form1.h"
#include "fake/error_of.h"
#include "fake/fake_host.h"
#include "platform/win32/drives.h"
#include "platform/win32/win32_platform.h"
#include "test_folder.h"

namespace velno::platform::win32 {
namespace {

// The rig has two VELNO FAT32 volumes: E: fixed, F: removable. Only E: is
// the instrument.
TEST(Win32Drives, DetectionTakesTheFixedVelnoDriveAndNotTheRemovableOne) {
    if (!velno::win32::testing::RigDriveReady()) {
        GTEST_SKIP() << "drive E: is not the rig's VELNO volume";
    }
    std::shared_ptr<Drive> removable;
    for (const auto& drive : Win32DriveCollection().Walk()) {
        if (drive->Path() == "E:") {
            EXPECT_EQ(drive->RootFolder(), "E:\\");
            const VolumeSpace space = drive->Space();
            EXPECT_GT(space.total_bytes, 0u);
            EXPECT_LE(space.free_bytes, space.total_bytes);
            EXPECT_EQ(space.cluster_bytes & (space.cluster_bytes - 1), 0u);
            EXPECT_GT(space.cluster_bytes, 0u);
        } else if (drive->Path() == "F:") {
            removable = drive;
        }
    }
    ASSERT_NE(removable, nullptr);
    EXPECT_EQ(removable->DriveType(), kDriveRemovable);
    EXPECT_EQ(removable->VolumeName(), "VELNO");
    EXPECT_EQ(removable->FileSystem(), "FAT32");

    Win32Platform platform;
    fake::CallLog log;
    fake::FakeUser user(log);  // any message box fails the test
    fake::RecordingView view(log);
    app::Form1 form(platform, user, view);
    form.DetectInstrument();
    EXPECT_EQ(form.Instrument().drive_path, "E:");
    EXPECT_EQ(view.caption, std::string(app::kCaptionPrefix) + "1A2B3C4D");
}

TEST(Win32Drives, AMissingDriveIsNotReadyAndItsLabelReadFails) {
    Win32Drive missing(L"B:\\");
    EXPECT_FALSE(missing.IsReady());
    EXPECT_THROW(missing.Space(), PlatformError);
    const auto error = velno::testing::ErrorOf([&] { missing.VolumeName(); });
    EXPECT_EQ(error.Operation(), "VolumeName");
    EXPECT_EQ(error.Paths(), std::vector<std::string>{"B:"});
    EXPECT_FALSE(error.SystemMessage().empty());
}

}  // namespace
}  // namespace velno::platform::win32
