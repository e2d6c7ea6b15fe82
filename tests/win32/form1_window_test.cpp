#include "app/win32/form1_window.h"

#include <gtest/gtest.h>

#include "app/win32/dpi.h"
#include "platform/win32/text_conversion.h"
#include "platform/win32/win32_platform.h"
#include "update/messages.h"

namespace velno::win32 {
namespace {

using app::Control;

std::string TextOf(HWND window) {
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return platform::win32::WideToUtf8(text);
}

// Under Wine without an X display (DISPLAY unset) no window can be created.
class Form1WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") &&
            GetEnvironmentVariableW(L"DISPLAY", nullptr, 0) == 0) {
            GTEST_SKIP() << "no X display for Wine (DISPLAY is not set)";
        }
    }
};

// The window's literal size scaled to the DPI, its fonts, tab order and bar
// are the front end's own; the title and texts show that it draws the
// description, which the core checks.
TEST_F(Form1WindowTest, HasItsSizeFontsTabOrderAndBar) {
    Form1Window window(GetModuleHandleW(nullptr));
    const UINT dpi = window.Dpi();
    RECT client{};
    GetClientRect(window.Handle(), &client);
    EXPECT_EQ(client.right, Scale(563, dpi));
    EXPECT_EQ(client.bottom, Scale(196, dpi));
    EXPECT_EQ(TextOf(window.Handle()), app::Form1Description().creation_title);
    for (const app::ControlDescription& control : app::Form1Description().controls) {
        if (control.font) {
            SCOPED_TRACE(control.name);
            const HWND handle = window.ControlHandle(control.id);
            EXPECT_EQ(TextOf(handle), control.text);
            LOGFONTW font{};
            GetObjectW(reinterpret_cast<HFONT>(SendMessageW(handle, WM_GETFONT, 0, 0)), sizeof font,
                       &font);
            EXPECT_EQ(font.lfHeight, -Scale(control.font->pixels, dpi));
            EXPECT_EQ(font.lfWeight, control.font->bold ? FW_BOLD : FW_NORMAL);
            EXPECT_EQ(platform::win32::WideToUtf8(font.lfFaceName), control.font->face);
        }
    }
    // Tab moves the focus from "Start Updating" to "Exit".
    EXPECT_EQ(
        GetNextDlgTabItem(window.Handle(), window.ControlHandle(Control::kStartButton), FALSE),
        window.ControlHandle(Control::kExitButton));
    // The bar runs from 0 to its described maximum.
    const HWND bar = window.ControlHandle(Control::kProgressBar1);
    EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, FALSE, 0), app::kProgressMaximum);
    window.SetBarPosition(66);
    EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 66);
}

// Answers every message box by trying to close the window first.
class ClosingUser : public platform::UserServices {
public:
    platform::Answer ShowMessage(const std::string& text, platform::Buttons,
                                 platform::Icon) override {
        messages.push_back(text);
        SendMessageW(window, WM_CLOSE, 0, 0);
        still_open_during_message = IsWindow(window) != FALSE;
        return platform::Answer::kOk;
    }
    void PumpEvents() override {}
    HWND window = nullptr;
    std::vector<std::string> messages;
    bool still_open_during_message = false;
};

// "Start Updating" without a staging folder beside the test program stops at
// its first precondition, before anything on a drive changes: the window
// refuses to close while the message is shown, and closes when the run ends
// the program, which fails. (The smoke test presses "Exit".)
TEST_F(Form1WindowTest, RefusesToCloseDuringARunAndClosesWhenItEndsTheProgram) {
    platform::win32::Win32Platform platform;
    ClosingUser user;
    Form1Window window(GetModuleHandleW(nullptr));
    app::Controller controller(platform, user, window);
    user.window = window.Handle();
    ASSERT_TRUE(controller.Start()) << "needs the rig's drive E: (prepare-prefix.sh)";
    const HWND start = window.ControlHandle(Control::kStartButton);
    SendMessageW(window.Handle(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(start), BN_CLICKED),
                 reinterpret_cast<LPARAM>(start));
    EXPECT_EQ(user.messages, std::vector<std::string>{std::string(update::kPositionFileNotFound)});
    EXPECT_TRUE(user.still_open_during_message);
    EXPECT_EQ(window.Handle(), nullptr);
    EXPECT_EQ(controller.ExitStatus(), app::Controller::kFailure);
}

}  // namespace
}  // namespace velno::win32
