#pragma once

#include <array>
#include <string>

#include "app/form1.h"
#include "app/view.h"
#include "app/win32/windows_ui.h"
#include "app/window_description.h"
#include "platform/contract.h"

namespace velno::win32 {

// The updater's window drawn with Win32 controls from the core's
// description: static labels with their fonts and colours, the two
// Command1 push buttons and the common-controls progress bar, each at its
// place scaled from 96 dpi to the monitor's. It forwards button presses to
// the window's logic and carries out what the logic does to it.
class Form1Window : public app::View {
public:
    // Creates the window and its controls in their creation state, hidden.
    explicit Form1Window(HINSTANCE instance,
                         const app::WindowDescription& description = app::Form1Description());
    ~Form1Window() override;
    Form1Window(const Form1Window&) = delete;
    Form1Window& operator=(const Form1Window&) = delete;

    // Hands presses of Command1 to the logic, through the event boundary.
    void Attach(app::Form1& form, platform::UserServices& user);
    // Shows the window with the keyboard focus on the first control.
    void Show();
    // Closes the window whatever state it is in; the message loop then ends.
    void EndProgram();

    HWND Handle() const { return window_; }
    HWND ControlHandle(app::Control control) const;
    UINT Dpi() const { return dpi_; }

    // What the logic does to the window.
    void SetCaption(const std::string& caption) override;
    void SetVisible(app::Control control, bool visible) override;
    void SetEnabled(app::Control control, bool enabled) override;
    void SetProgressValue(float value) override;
    float ProgressMax() override;

private:
    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM w, LPARAM l);
    LRESULT HandleMessage(HWND window, UINT message, WPARAM w, LPARAM l);
    void CreateControls(HINSTANCE instance);
    // Places the window's client area and every control, and makes the
    // fonts, for that DPI.
    void Layout(UINT dpi, bool resize_window);
    void Press(int index);
    std::size_t Position(HWND control) const;

    const app::WindowDescription& description_;
    HWND window_ = nullptr;
    std::array<HWND, app::kControlCount> controls_{};
    std::array<HFONT, app::kControlCount> fonts_{};
    HFONT button_font_ = nullptr;
    UINT dpi_ = 96;
    app::Form1* form_ = nullptr;
    platform::UserServices* user_ = nullptr;
};

}  // namespace velno::win32
