// velno-updater.exe: the updater's Windows program.

#include "app/form1.h"
#include "app/win32/form1_window.h"
#include "app/win32/user_services.h"
#include "platform/win32/win32_platform.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*command_line*/,
                    int /*show*/) {
    using namespace velno;
    platform::win32::Win32Platform platform;
    win32::Win32UserServices user;
    const bool completed = app::RunAtEventBoundary(user, [&] {
        win32::Form1Window window(instance);
        app::Form1 form(platform, user, window);
        window.Attach(form, user);
        user.SetOwner(window.Handle());
        // The load handler runs before the window is first shown; the window
        // is shown only when it returns.
        if (!app::RunAtEventBoundary(user, [&] { form.DetectInstrument(); })) {
            return;
        }
        window.Show();
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            win32::DispatchWindowMessage(window.Handle(), message);
        }
    });
    return completed ? 0 : 1;
}
