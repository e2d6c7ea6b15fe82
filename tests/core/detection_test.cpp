#include "core/world.h"

namespace velno::testing {
namespace {

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
    w.form.DetectInstrument();
    EXPECT_EQ(w.log.Text(),
              "CreateFileSystemObject Scripting.FileSystemObject|Drives|Drives.Walk|DriveType C:|"
              "IsReady C:|VolumeName C:|FileSystem C:|DriveType A:|DriveType B:|IsReady B:|"
              "DriveType D:|IsReady D:|VolumeName D:|FileSystem D:|DriveType F:|IsReady F:|"
              "VolumeName F:|FileSystem F:|DriveType G:|IsReady G:|VolumeName G:|FileSystem G:|"
              "DriveType H:|IsReady H:|VolumeName H:|FileSystem H:|SerialNumber H:|"
              "Caption VELNO4 updater     Serial N.  ABCD|Path H:|RootFolder H:|");
    EXPECT_EQ(w.form.Instrument().drive_path, "H:");
    EXPECT_EQ(w.form.Instrument().root_folder, "H:\\");
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
    w.form.DetectInstrument();
    // The collection is made once, walked thrice, every property read afresh.
    const std::string walk =
        "Drives.Walk|DriveType C:|IsReady C:|VolumeName C:|FileSystem C:|DriveType E:|";
    const std::string not_found =
        walk + "ShowMessage VELNO4 NOT FOUND , PLEASE CONNECT TO USB |RetryCancel|none|";
    EXPECT_EQ(w.log.Text(), "CreateFileSystemObject Scripting.FileSystemObject|Drives|" +
                                not_found + not_found + walk +
                                "DriveType F:|IsReady F:|VolumeName F:|FileSystem F:|"
                                "SerialNumber F:|Caption VELNO4 updater     Serial N.  8000007F|"
                                "Path F:|RootFolder F:|");
    EXPECT_EQ(w.form.Instrument().drive_path, "F:");

    for (const Answer cancel : {Answer::kCancel, Answer::kClosed}) {
        World gone{false};
        gone.user.Answer(cancel);
        EXPECT_THROW(gone.form.DetectInstrument(), platform::ProgramEnded);
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
