#pragma once

#include "app/win32/windows_ui.h"
#include "platform/contract.h"

namespace velno::win32 {

// Message boxes and event processing for the logic, on the Win32 API.
class Win32UserServices : public platform::UserServices {
public:
    // The window the boxes belong to once it is shown; none before.
    void SetOwner(HWND owner) { owner_ = owner; }

    // MessageBoxW with the application's title. A box with a Cancel button
    // that is closed by its frame or Esc answers Cancel, as the system
    // reports it; a box that cannot be shown counts as closed.
    platform::Answer ShowMessage(const std::string& text, platform::Buttons buttons,
                                 platform::Icon icon) override;
    void PumpEvents() override;

private:
    HWND owner_ = nullptr;
};

// Hands one message to the window it is for, with the keyboard navigation
// of a dialog (Tab between the buttons) inside the program's window.
void DispatchWindowMessage(HWND window, MSG& message);

}  // namespace velno::win32
