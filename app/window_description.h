#pragma once

// The updater's window, described once: every control with its text,
// geometry, font, colour, alignment, tab order and creation state, and the
// texts of the window's own message boxes. Front ends draw from this and
// never restate it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "update/window_controls.h"

namespace velno::app {

using update::Control;

// The number of controls; arrays of them are indexed by Control.
inline constexpr std::size_t kControlCount = static_cast<std::size_t>(Control::kLabel7) + 1;

constexpr std::size_t IndexOf(Control control) { return static_cast<std::size_t>(control); }

constexpr int kTwipsPerPixel = 15;  // at 96 dots per inch

// ProgressBar1 runs from 0 to this, in whole steps.
inline constexpr int kProgressMaximum = 100;

enum class ControlKind { kLabel, kPushButton, kProgressBar };
enum class Alignment { kLeft, kCentre };

struct Rect {
    int left;
    int top;
    int width;
    int height;
};

struct Colour {
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;
    friend bool operator==(const Colour&, const Colour&) = default;
};

struct Font {
    std::string_view face;
    double points;
    int pixels;  // character height at 96 dpi
    bool bold;
};

struct ControlDescription {
    Control id;
    std::string_view name;  // "Label1", "Command1", ...
    int index;              // index in the control array, -1 when none
    ControlKind kind;
    std::string_view text;
    Rect twips;
    int tab_index;
    bool visible_at_creation;
    bool enabled_at_creation;
    std::optional<Font> font;  // none: the window's ordinary font
    Colour colour;
    Alignment alignment;

    Rect Pixels() const;
};

struct WindowDescription {
    std::string_view name;
    std::string_view creation_title;
    int client_width_twips;
    int client_height_twips;
    int design_left_twips;  // of the client area, from the screen's corner
    int design_top_twips;
    Control initial_focus;
    // In the order of Control.
    std::array<ControlDescription, kControlCount> controls;

    int ClientWidthPixels() const { return client_width_twips / kTwipsPerPixel; }
    int ClientHeightPixels() const { return client_height_twips / kTwipsPerPixel; }
    const ControlDescription& Of(Control id) const { return controls[IndexOf(id)]; }
    // The controls in the order of their tab indexes: the order the keyboard
    // focus moves in, and the order in which they are stacked, the first on
    // top.
    std::array<Control, kControlCount> TabOrder() const;
};

const WindowDescription& Form1Description();

// The caption detection gives the window: the prefix followed by the serial
// number's text.
inline constexpr std::string_view kCaptionPrefix = "VELNO4 updater     Serial N.  ";

// Detection's question when no instrument is connected (Retry, Cancel).
inline constexpr std::string_view kNotFoundMessage = "VELNO4 NOT FOUND , PLEASE CONNECT TO USB";

// The title every message box of the program carries.
inline constexpr std::string_view kApplicationTitle = "VELNO updater";

}  // namespace velno::app
