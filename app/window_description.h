#pragma once

// The updater's window, described once: every control with its text,
// geometry, font, colour, alignment, tab order and creation state. Front ends
// draw from this and never restate it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "update/window_controls.h"

namespace velno::app {

using update::Control;

constexpr int kTwipsPerPixel = 15;  // at 96 dots per inch

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

// How many controls the window has; front ends size their tables by it.
inline constexpr std::size_t kControlCount = 9;

struct WindowDescription {
    std::string_view name;
    std::string_view creation_title;
    int client_width_twips;
    int client_height_twips;
    int design_left_twips;  // of the client area, from the screen's corner
    int design_top_twips;
    Control initial_focus;
    std::array<ControlDescription, kControlCount> controls;

    int ClientWidthPixels() const { return client_width_twips / kTwipsPerPixel; }
    int ClientHeightPixels() const { return client_height_twips / kTwipsPerPixel; }
    const ControlDescription& Find(Control id) const;
};

const WindowDescription& Form1Description();

// The caption detection gives the window: the prefix followed by the serial
// number's text.
inline constexpr std::string_view kCaptionPrefix = "VELNO4 updater     Serial N.  ";

// The window's states, with which controls each shows and enables. A
// completed run tells, below the closing instructions, whether the drive was
// made safe to unplug (kCompleted) or its volume is still mounted.
enum class WindowState {
    kReady,
    kRunningPreparing,
    kRunningPositionList,
    kCompleted,
    kCompletedStillMounted,
};

struct ControlState {
    bool visible;
    bool enabled;
};

ControlState StateOf(WindowState state, Control control);

}  // namespace velno::app
