#include "app/window_description.h"

#include <algorithm>

namespace velno::app {

namespace {

constexpr Colour kDarkBlue{0, 0, 192};
constexpr Colour kRed{255, 0, 0};
constexpr Colour kBlack{0, 0, 0};
constexpr std::string_view kTahoma = "Tahoma";

constexpr std::string_view kLabel1Text =
    "Now you are ready to update your VELNO . Please disconnect the USB cable , turn off the "
    "keyboard then on again by holding down  F6 tab for 3 seconds. While the update routine is "
    "running , the leds at the right side will flash . The keyboard will reboot automatically "
    "when completed .";

constexpr WindowDescription kForm1{
    .name = "Form1",
    .creation_title = "VELNO5 updater",
    .client_width_twips = 8445,
    .client_height_twips = 2940,
    .design_left_twips = 2580,
    .design_top_twips = 3315,
    .initial_focus = Control::kStartButton,
    .controls = {{
        {Control::kLabel1,
         "Label1",
         -1,
         ControlKind::kLabel,
         kLabel1Text,
         {480, 120, 7455, 1335},
         2,
         false,
         true,
         Font{kTahoma, 9.75, 13, true},
         kRed,
         Alignment::kLeft},
        {Control::kLabel2,
         "Label2",
         -1,
         ControlKind::kLabel,
         "PLEASE WAIT",
         {2760, 1080, 3255, 375},
         3,
         false,
         true,
         Font{kTahoma, 15.75, 21, true},
         kDarkBlue,
         Alignment::kCentre},
        {Control::kLabel3,
         "Label3",
         -1,
         ControlKind::kLabel,
         "WARNING : DO NOT TURN OFF THE KEYBOARD UNTIL THE UPDATE OPERATION WILL BE COMPLETED",
         {480, 1560, 7335, 735},
         4,
         false,
         true,
         Font{kTahoma, 12, 16, true},
         kRed,
         Alignment::kLeft},
        {Control::kLabel4,
         "Label4",
         -1,
         ControlKind::kLabel,
         "The start setup will be changed as factory default",
         {480, 840, 7455, 375},
         5,
         true,
         true,
         Font{kTahoma, 12, 16, true},
         kDarkBlue,
         Alignment::kCentre},
        {Control::kProgressBar1,
         "ProgressBar1",
         -1,
         ControlKind::kProgressBar,
         "",
         {240, 120, 7935, 615},
         6,
         false,
         true,
         std::nullopt,
         kBlack,
         Alignment::kLeft},
        {Control::kStartButton,
         "Command1",
         0,
         ControlKind::kPushButton,
         "Start Updating",
         {360, 2280, 1815, 495},
         0,
         true,
         true,
         std::nullopt,
         kBlack,
         Alignment::kCentre},
        {Control::kExitButton,
         "Command1",
         1,
         ControlKind::kPushButton,
         "Exit",
         {6240, 2280, 1815, 495},
         1,
         true,
         true,
         std::nullopt,
         kBlack,
         Alignment::kCentre},
        {Control::kLabel5,
         "Label5",
         -1,
         ControlKind::kLabel,
         "The VELNO has been safely removed : you may unplug it now .",
         {480, 1560, 7455, 375},
         7,
         false,
         true,
         Font{kTahoma, 9.75, 13, true},
         kDarkBlue,
         Alignment::kLeft},
        {Control::kLabel6,
         "Label6",
         -1,
         ControlKind::kLabel,
         "All data is written, but the VELNO volume is still mounted .",
         {480, 1560, 7455, 375},
         8,
         false,
         true,
         Font{kTahoma, 9.75, 13, true},
         kRed,
         Alignment::kLeft},
        {Control::kLabel7,
         "Label7",
         -1,
         ControlKind::kLabel,
         "The VELNO volume is still mounted : eject it before you unplug it .",
         {480, 1560, 7455, 375},
         9,
         false,
         true,
         Font{kTahoma, 9.75, 13, true},
         kRed,
         Alignment::kLeft},
    }},
};

// Each control stands at the place its Control value gives.
constexpr bool IndexedByControl() {
    for (std::size_t i = 0; i < kForm1.controls.size(); ++i) {
        if (IndexOf(kForm1.controls[i].id) != i) {
            return false;
        }
    }
    return true;
}
static_assert(IndexedByControl());

}  // namespace

Rect ControlDescription::Pixels() const {
    return {twips.left / kTwipsPerPixel, twips.top / kTwipsPerPixel, twips.width / kTwipsPerPixel,
            twips.height / kTwipsPerPixel};
}

std::array<Control, kControlCount> WindowDescription::TabOrder() const {
    std::array<Control, kControlCount> order{};
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = controls[i].id;
    }
    std::sort(order.begin(), order.end(),
              [this](Control a, Control b) { return Of(a).tab_index < Of(b).tab_index; });
    return order;
}

const WindowDescription& Form1Description() { return kForm1; }

}  // namespace velno::app
