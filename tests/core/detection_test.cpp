#include "core/world.h"

namespace velno::testing {
namespace {

constexpr const char* kNotFound = "VELNO4 NOT FOUND , PLEASE CONNECT TO USB";

struct Detection : ::testing::Test {
    fake::CallLog log;
    fake::FakeHost host{log};
    fake::FakeUser user{log};
    fake::RecordingView view{log};
    app::Form1 form{host, user, view};
};

TEST_F(Detection, FirstQualifyingDriveInListOrderWins) {
    host.AddDrive({.path = "D:", .label = "velno", .serial = 1});        // case
    host.AddDrive({.path = "F:", .file_system = "FAT16", .serial = 2});  // FAT16
    host.AddDrive({.path = "G:", .label = "VELNO ", .serial = 3});       // blank
    host.AddDrive({.path = "H:", .serial = 0x0000ABCD});                 // match
    host.AddDrive({.path = "I:", .serial = 5});                          // later
    form.DetectInstrument();

    EXPECT_EQ(view.caption, "VELNO4 updater     Serial N.  ABCD");
    EXPECT_EQ(form.Instrument().drive_path, "H:");
    EXPECT_EQ(form.Instrument().root_folder, "H:\\");
    EXPECT_FALSE(log.Contains("DriveType I:"));  // later drives are not examined
    EXPECT_TRUE(user.messages.empty());
    EXPECT_EQ(log.Count("Drives.Walk"), 1);
}

TEST_F(Detection, PropertiesAreReadInOrderAndLabelsOnlyOfQualifyingDrives) {
    host.AddDrive({.path = "A:", .type = platform::kDriveRemovable});
    host.AddDrive({.path = "B:", .ready = false});
    host.AddDrive({.path = "E:", .serial = 0});
    form.DetectInstrument();

    EXPECT_FALSE(log.Contains("IsReady A:"));  // not a fixed disk: not asked further
    EXPECT_FALSE(log.Contains("VolumeName A:"));
    EXPECT_FALSE(log.Contains("VolumeName B:"));
    EXPECT_FALSE(log.Contains("FileSystem A:"));
    EXPECT_FALSE(log.Contains("FileSystem B:"));
    const std::vector<std::string> expected = {
        "DriveType E:",  "IsReady E:",      "VolumeName E:",
        "FileSystem E:", "SerialNumber E:", "Caption VELNO4 updater     Serial N.  0",
        "Path E:",       "RootFolder E:",
    };
    const long first = log.Find("DriveType E:");
    ASSERT_GE(first, 0);
    EXPECT_EQ(std::vector<std::string>(log.entries.begin() + first, log.entries.end()), expected);
}

TEST_F(Detection, RemovableInstrumentIsNotMatched) {
    host.AddDrive({.type = platform::kDriveRemovable});
    user.Answer(Answer::kCancel);
    EXPECT_THROW(form.DetectInstrument(), platform::ProgramEnded);
    EXPECT_EQ(user.messages, std::vector<std::string>{kNotFound});
    EXPECT_EQ(log.entries[log.Find("ShowMessage")],
              std::string("ShowMessage ") + kNotFound + " |RetryCancel|none");
    EXPECT_EQ(view.caption, "VELNO5 updater");
}

TEST_F(Detection, RetryWalksTheDrivesPresentNow) {
    host.AddDrive({.path = "E:", .label = "OTHER"});
    // The user connects the instrument, then presses Retry.
    user.Answer(Answer::kRetry, [&] { host.AddDrive({.path = "F:", .serial = 0x7F}); });
    form.DetectInstrument();

    EXPECT_EQ(form.Instrument().drive_path, "F:");
    EXPECT_EQ(view.caption, "VELNO4 updater     Serial N.  7F");
    EXPECT_EQ(log.Count("Drives.Walk"), 2);
    EXPECT_EQ(log.Count("Drives "), 0);
    EXPECT_EQ(log.Count("Drives"), 3);         // the collection once, walked twice
    EXPECT_EQ(log.Count("VolumeName E:"), 2);  // every property read afresh
}

TEST_F(Detection, RetryAgainAndAgainThenCancelEndsBeforeAnyWindow) {
    user.Answer(Answer::kRetry);
    user.Answer(Answer::kRetry);
    user.Answer(Answer::kClosed);  // closing the box counts as Cancel
    EXPECT_THROW(form.DetectInstrument(), platform::ProgramEnded);
    EXPECT_EQ(user.messages.size(), 3U);
    EXPECT_TRUE(user.ended);
    EXPECT_EQ(form.Instrument().drive_path, "");
    EXPECT_FALSE(log.Contains("Caption"));
}

TEST_F(Detection, AFailingPropertyReadIsNotCaught) {
    host.AddDrive({});
    host.FailOperation(5);  // CreateFileSystemObject, Drives, Walk, DriveType, IsReady
    try {
        form.DetectInstrument();
        FAIL() << "detection returned";
    } catch (const platform::PlatformError& error) {
        EXPECT_EQ(error.Operation(), "IsReady");
        EXPECT_EQ(error.Paths(), std::vector<std::string>{"E:"});
    }
}

}  // namespace
}  // namespace velno::testing
