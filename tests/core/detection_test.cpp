#include "core/world.h"

namespace velno::testing {
namespace {

const std::string kNotFound(app::kNotFoundMessage);

TEST(Detection, FirstQualifyingDriveInListOrderWinsAndOthersAreAskedNoMore) {
    World w{false};
    w.host.AddDrive({.path = "A:", .type = platform::kDriveRemovable});
    w.host.AddDrive({.path = "B:", .ready = false});
    w.host.AddDrive({.path = "D:", .label = "velno", .serial = 1});        // case
    w.host.AddDrive({.path = "F:", .file_system = "FAT16", .serial = 2});  // FAT16
    w.host.AddDrive({.path = "G:", .label = "VELNO ", .serial = 3});       // blank
    w.host.AddDrive({.path = "H:", .serial = 0x0000ABCD});                 // match
    w.host.AddDrive({.path = "I:", .serial = 5});                          // later
    w.Detect();

    for (const char* never : {"IsReady A:", "VolumeName A:", "VolumeName B:", "FileSystem A:",
                              "FileSystem B:", "DriveType I:"}) {
        EXPECT_FALSE(w.log.Contains(never)) << never;
    }
    const std::vector<std::string> expected = {
        "DriveType H:",  "IsReady H:",      "VolumeName H:",
        "FileSystem H:", "SerialNumber H:", "Caption " + std::string(app::kCaptionPrefix) + "ABCD",
        "Path H:",       "RootFolder H:"};
    const long first = w.log.Find("DriveType H:");
    ASSERT_GE(first, 0);
    EXPECT_EQ(std::vector<std::string>(w.log.entries.begin() + first, w.log.entries.end()),
              expected);
    EXPECT_EQ(w.form.Instrument().drive_path, "H:");
    EXPECT_EQ(w.form.Instrument().root_folder, "H:\\");
    EXPECT_EQ(w.log.Count("Drives.Walk"), 1);
}

TEST(Detection, RetryAgainAndAgainThenCancelEndsBeforeAnyWindow) {
    World w{false};
    w.host.AddDrive({.type = platform::kDriveRemovable});  // the instrument, but removable
    w.user.Answer(Answer::kRetry);
    w.user.Answer(Answer::kRetry);
    w.user.Answer(Answer::kClosed);  // closing the box counts as Cancel
    EXPECT_THROW(w.Detect(), platform::ProgramEnded);
    EXPECT_EQ(w.user.messages, std::vector<std::string>(3, kNotFound));
    EXPECT_EQ(w.log.entries[w.log.Find("ShowMessage")],
              "ShowMessage " + kNotFound + " |RetryCancel|none");
    EXPECT_TRUE(w.user.ended);
    EXPECT_EQ(w.form.Instrument().drive_path, "");
    EXPECT_FALSE(w.log.Contains("Caption"));
}

TEST(Detection, RetryWalksTheDrivesPresentNow) {
    World w{false};
    w.host.AddDrive({.path = "E:", .label = "OTHER"});
    // The user connects the instrument, then presses Retry.
    w.user.Answer(Answer::kRetry, [&] { w.host.AddDrive({.path = "F:", .serial = 0x7F}); });
    w.Detect();
    EXPECT_EQ(w.form.Instrument().drive_path, "F:");
    EXPECT_EQ(w.view.caption, std::string(app::kCaptionPrefix) + "7F");
    EXPECT_EQ(w.log.Count("Drives.Walk"), 2);
    EXPECT_EQ(w.log.Count("Drives"), 3);         // the collection once, walked twice
    EXPECT_EQ(w.log.Count("VolumeName E:"), 2);  // every property read afresh
}

}  // namespace
}  // namespace velno::testing
