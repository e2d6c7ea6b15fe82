#pragma once

// The window's states: which controls each shows and enables. A completed
// run says below the closing instructions whether the drive was removed.

#include <string_view>

#include "app/window_description.h"

namespace velno::testing {

struct WindowState {
    const char* name;
    // One character per control in the order of Control (Label1, Label2,
    // Label3, Label4, ProgressBar1, "Start Updating", "Exit", Label5,
    // Label6, Label7): x for yes.
    std::string_view visible, enabled;

    bool Visible(app::Control c) const { return visible.at(app::IndexOf(c)) == 'x'; }
    bool Enabled(app::Control c) const { return enabled.at(app::IndexOf(c)) == 'x'; }
};

inline constexpr WindowState kReady{"Ready", "...x.xx...", "xxxxxxxxxx"};
inline constexpr WindowState kPreparing{"Running, preparing", ".xx..xx...", "xxxxx..xxx"};
inline constexpr WindowState kPositionList{"Running, position list", ".xx.xxx...", "xxxxx..xxx"};
inline constexpr WindowState kCompleted{"Completed", "x....xxx..", "xxxxx.xxxx"};
inline constexpr WindowState kCompletedStillMounted{"Completed, still mounted", "x....xx.x.",
                                                    "xxxxx.xxxx"};
inline constexpr WindowState kCompletedUnflushed{"Completed, not flushed", "x....xx..x",
                                                 "xxxxx.xxxx"};

}  // namespace velno::testing
