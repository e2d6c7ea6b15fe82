#include "core/world.h"

namespace velno::testing {
namespace {

// Every text the user can be shown, against the exact words and blanks it
// must have. Everything else compares with these texts.
TEST(WindowDescription, EveryTextIsExact) {
    const auto& form = app::Form1Description();
    const auto text = [&form](Control c) { return std::string(form.Of(c).text); };
    const std::pair<std::string, std::string_view> texts[] = {
        {std::string(form.creation_title), "VELNO5 updater"},
        {std::string(app::kCaptionPrefix), "VELNO4 updater     Serial N.  "},
        {text(Control::kStartButton), "Start Updating"},
        {text(Control::kExitButton), "Exit"},
        {text(Control::kLabel4), "The start setup will be changed as factory default"},
        {text(Control::kLabel2), "PLEASE WAIT"},
        {text(Control::kLabel3),
         "WARNING : DO NOT TURN OFF THE KEYBOARD UNTIL THE UPDATE OPERATION WILL BE COMPLETED"},
        {text(Control::kLabel1),
         "Now you are ready to update your VELNO . Please disconnect the USB cable , turn off the "
         "keyboard then on again by holding down  F6 tab for 3 seconds. While the update routine "
         "is running , the leds at the right side will flash . The keyboard will reboot "
         "automatically when completed ."},
        {text(Control::kProgressBar1), ""},
        {std::string(app::kNotFoundMessage), "VELNO4 NOT FOUND , PLEASE CONNECT TO USB"},
        {std::string(update::kPositionFileNotFound), "Position file not found "},
        {std::string(update::kSystemFolderNotFound), "System folder not found !"},
        {std::string(update::kOverwriteQuestion),
         "Software file is older than saved one , OverWrite saved ??"},
        {update::MissingFileMessage("a.bin"), "File a.bin not found"},
    };
    for (const auto& [actual, expected] : texts) {
        EXPECT_EQ(actual, expected);
    }
}

}  // namespace
}  // namespace velno::testing
