#pragma once

#include <array>
#include <string>

#include "app/controller.h"
#include "app/win32/windows_ui.h"
#include "app/window_description.h"

namespace velno::win32 {

// The updater's window drawn with Win32 controls from the core's
// description: static labels with their fonts and colours, the two
// Command1 push buttons and the common-controls progress bar, each at its
// place scaled from 96 dpi to the monitor's. It hands button presses and
// requests to close to the controller and carries out what the controller
// does to it.
class Form1Window : public app::FrontEnd {
public:
    // Creates the window and its controls in their creation state, hidden.
    explicit Form1Window(HINSTANCE instance,
                         const app::WindowDescription& description = app::Form1Description());
    ~Form1Window() override;
    Form1Window(const Form1Window&) = delete;
    Form1Window& operator=(const Form1Window&) = delete;

    HWND Handle() const { return window_; }
    HWND ControlHandle(app::Control control) const { return controls_[app::IndexOf(control)]; }
    UINT Dpi() const { return dpi_; }

    void SetCaption(const std::string& caption) override;
    void SetVisible(app::Control control, bool visible) override;
    void SetEnabled(app::Control control, bool enabled) override;
    void SetBarPosition(int position) override;
    void Show() override;
    // The message loop ends once the window is gone.
    void Close() override;

private:
    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM w, LPARAM l);
    LRESULT HandleMessage(HWND window, UINT message, WPARAM w, LPARAM l);
    void CreateControls(HINSTANCE instance);
    // Places the window's client area and every control, and makes the
    // fonts, for that DPI.
    void Layout(UINT dpi, bool resize_window);
    // The control a child window is, or nullptr when it is none of them.
    const app::ControlDescription* ControlOf(HWND child) const;

    const app::WindowDescription& description_;
    HWND window_ = nullptr;
    std::array<HWND, app::kControlCount> controls_{};
    std::array<HFONT, app::kControlCount> fonts_{};
    HFONT button_font_ = nullptr;
    UINT dpi_ = 96;
};

}  // namespace velno::win32
