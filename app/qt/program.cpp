#include "app/qt/program.h"

namespace velno::qt {

Program::Program(platform::Platform& platform) : user_(&window_), form_(platform, user_, window_) {
    window_.Attach(form_, user_);
}

bool Program::Start() {
    if (!app::RunAtEventBoundary(user_, [this] { form_.DetectInstrument(); })) {
        window_.EndProgram();
        return false;
    }
    window_.show();
    window_.raise();
    window_.activateWindow();
    return true;
}

}  // namespace velno::qt
