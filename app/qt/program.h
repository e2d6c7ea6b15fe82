#pragma once

#include "app/form1.h"
#include "app/qt/form1_window.h"
#include "app/qt/user_services.h"
#include "platform/contract.h"

namespace velno::qt {

// The program on one host: the window, the user services and the window's
// logic, wired together.
class Program {
public:
    explicit Program(platform::Platform& platform);

    // Runs detection before the window is first shown
    // and shows the window only if detection returns. False when the program
    // has ended instead (cancelled, or a platform operation failed).
    bool Start();

    Form1Window& Window() { return window_; }
    QtUserServices& User() { return user_; }
    app::Form1& Form() { return form_; }

private:
    Form1Window window_;
    QtUserServices user_;
    app::Form1 form_;
};

}  // namespace velno::qt
