#pragma once

// Measures for per-monitor DPI awareness: the description's pixels are at
// 96 dpi and are scaled to the monitor's. The newer DPI functions of
// user32 are looked up at run time, so the program still starts on systems
// without them (at the system's DPI).

#include "app/win32/windows_ui.h"

namespace velno::win32 {

inline constexpr UINT kDesignDpi = 96;

inline int Scale(int pixels_at_96, UINT dpi) {
    return MulDiv(pixels_at_96, static_cast<int>(dpi), static_cast<int>(kDesignDpi));
}

// The DPI the window is shown at (the system's before it exists).
UINT DpiOf(HWND window);

// The window's outer rectangle for a client area of that size, at that DPI.
RECT OuterRect(int client_width, int client_height, DWORD style, DWORD ex_style, UINT dpi);

// The system's message font (the font of ordinary controls) at that DPI.
LOGFONTW MessageFont(UINT dpi);

}  // namespace velno::win32
