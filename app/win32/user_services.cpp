#include "app/win32/user_services.h"

#include "app/window_description.h"
#include "platform/win32/text_conversion.h"

namespace velno::win32 {

namespace {

UINT ButtonsOf(platform::Buttons buttons) {
    switch (buttons) {
        case platform::Buttons::kYesNo:
            return MB_YESNO;
        case platform::Buttons::kRetryCancel:
            return MB_RETRYCANCEL;
        case platform::Buttons::kOk:
            break;
    }
    return MB_OK;
}

platform::Answer AnswerOf(int result) {
    switch (result) {
        case IDOK:
            return platform::Answer::kOk;
        case IDYES:
            return platform::Answer::kYes;
        case IDNO:
            return platform::Answer::kNo;
        case IDRETRY:
            return platform::Answer::kRetry;
        case IDCANCEL:
            return platform::Answer::kCancel;
        default:
            return platform::Answer::kClosed;
    }
}

}  // namespace

platform::Answer Win32UserServices::ShowMessage(const std::string& text, platform::Buttons buttons,
                                                platform::Icon icon) {
    // Before the window is shown (detection) the box stands on its own.
    const HWND owner = (owner_ != nullptr && IsWindowVisible(owner_)) ? owner_ : nullptr;
    UINT flags = ButtonsOf(buttons) | MB_SETFOREGROUND | (owner ? MB_APPLMODAL : MB_TASKMODAL);
    if (icon == platform::Icon::kCritical) {
        flags |= MB_ICONERROR;
    }
    const std::wstring wide = platform::win32::Utf8ToWide(text);
    const std::wstring title = platform::win32::Utf8ToWide(app::kApplicationTitle);
    return AnswerOf(MessageBoxW(owner, wide.c_str(), title.c_str(), flags));
}

void Win32UserServices::PumpEvents() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // Left for the main loop, which ends on it.
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        DispatchWindowMessage(owner_, message);
    }
}

void DispatchWindowMessage(HWND window, MSG& message) {
    if (window != nullptr && IsDialogMessageW(window, &message)) {
        return;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

}  // namespace velno::win32
