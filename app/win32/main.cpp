// velno-updater.exe: the updater's Windows program.

#include "app/controller.h"
#include "app/win32/form1_window.h"
#include "app/win32/user_services.h"
#include "platform/win32/win32_platform.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*command_line*/,
                    int /*show*/) {
    using namespace velno;
    platform::win32::Win32Platform platform;
    win32::Win32UserServices user;
    // A window that cannot be created is reported like any failure.
    int status = app::Controller::kFailure;
    app::RunAtEventBoundary(user, [&] {
        win32::Form1Window window(instance);
        user.SetOwner(window.Handle());
        app::Controller controller(platform, user, window);
        status = controller.Run([&window] {
            MSG message;
            while (GetMessageW(&message, nullptr, 0, 0) > 0) {
                win32::DispatchWindowMessage(window.Handle(), message);
            }
        });
    });
    return status;
}
