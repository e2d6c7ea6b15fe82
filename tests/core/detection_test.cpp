#include "core/world.h"

namespace velno::testing {
namespace {
const std::string kNotFound = "VELNO4 NOT FOUND , PLEASE CONNECT TO USB";
const std::string kCaption = "VELNO4 updater     Serial N.  ";  // then the serial number

// The first drive in list order that qualifies wins; a drive that fails one
// property is asked no more.
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
        "FileSystem H:", "SerialNumber H:", "Caption " + kCaption + "ABCD",
        "Path H:",       "RootFolder H:"};
    const long first = w.log.Find("DriveType H:");
    ASSERT_GE(first, 0);
    EXPECT_EQ(std::vector<std::string>(w.log.entries.begin() + first, w.log.entries.end()),
              expected);
    EXPECT_EQ(w.form.Instrument().drive_path, "H:");
    EXPECT_EQ(w.form.Instrument().root_folder, "H:\\");
    EXPECT_EQ(w.log.Count("Drives.Walk"), 1);
}

// Each Retry walks the drives present then; Cancel, or closing the box, ends
// the program before any window.
TEST(Detection, RetryWalksTheDrivesAgainAndCancelEnds) {
    World w{false};
    w.host.AddDrive({.path = "E:", .type = platform::kDriveRemovable});  // but removable
    w.user.Answer(Answer::kRetry);
    // The user connects the instrument, then presses Retry.
    w.user.Answer(Answer::kRetry,
                  [&] { w.host.AddDrive({.path = "F:", .serial = INT32_MIN + 0x7F}); });
    w.Detect();
    EXPECT_EQ(w.user.messages, std::vector<std::string>(2, kNotFound));
    EXPECT_EQ(w.log.entries[w.log.Find("ShowMessage")],
              "ShowMessage " + kNotFound + " |RetryCancel|none");
    EXPECT_EQ(w.form.Instrument().drive_path, "F:");
    EXPECT_EQ(w.view.caption, kCaption + "8000007F");
    EXPECT_EQ(w.log.Count("Drives.Walk"), 3);
    EXPECT_EQ(w.log.Count("Drives"), 4);        // the collection once, walked thrice
    EXPECT_EQ(w.log.Count("DriveType E:"), 3);  // every property read afresh

    for (const Answer cancel : {Answer::kCancel, Answer::kClosed}) {
        World gone{false};
        gone.user.Answer(cancel);
        EXPECT_THROW(gone.Detect(), platform::ProgramEnded);
        EXPECT_TRUE(gone.user.ended);
        EXPECT_EQ(gone.form.Instrument().drive_path, "");
        EXPECT_FALSE(gone.log.Contains("Caption"));
    }
}

// The window's texts, exact to every blank, in the order of Control (the
// messages' texts are checked where they are shown).
TEST(WindowDescription, EveryTextIsExact) {
    std::string texts(app::Form1Description().creation_title);
    for (const app::ControlDescription& control : app::Form1Description().controls) {
        texts.append("|").append(control.text);
    }
    EXPECT_EQ(
        texts,
        "VELNO5 updater|Now you are ready to update your VELNO . Please disconnect the USB "
        "cable , turn off the keyboard then on again by holding down  F6 tab for 3 seconds. "
        "While the update routine is running , the leds at the right side will flash . The "
        "keyboard will reboot automatically when completed .|PLEASE WAIT|WARNING : DO NOT "
        "TURN OFF THE KEYBOARD UNTIL THE UPDATE OPERATION WILL BE COMPLETED|The start setup "
        "will be changed as factory default||Start Updating|Exit|The VELNO has been safely "
        "removed : you may unplug it now .|All data is written, but the VELNO volume is "
        "still mounted .|The VELNO volume is still mounted : eject it before you unplug it .");
}

}  // namespace
}  // namespace velno::testing
