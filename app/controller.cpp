#include "app/controller.h"

#include <algorithm>
#include <cmath>

namespace velno::app {

namespace {

constexpr int kExitIndex = 1;

}  // namespace

void FrontEnd::Pressed(int index) {
    if (controller_ != nullptr) {
        controller_->Press(index);
    }
}

bool FrontEnd::CloseRequested() { return controller_ == nullptr || controller_->CloseRequested(); }

Controller::Controller(platform::Platform& platform, platform::UserServices& user,
                       FrontEnd& front_end)
    : user_(user), front_end_(front_end), form_(platform, user, *this) {
    front_end_.controller_ = this;
}

Controller::~Controller() { front_end_.controller_ = nullptr; }

int Controller::Run(const std::function<void()>& event_loop) {
    if (Start()) {
        event_loop();
    }
    return ExitStatus();
}

bool Controller::Start() {
    if (!RunAtEventBoundary(user_, [this] { form_.DetectInstrument(); })) {
        End(kFailure);
        return false;
    }
    front_end_.Show();
    return true;
}

void Controller::Press(int index) {
    if (ended_) {
        return;
    }
    if (!RunAtEventBoundary(
            user_, [this, index] { form_.DispatchCommand(static_cast<std::int16_t>(index)); })) {
        // "Exit" is the one press that ends the program as the user asked;
        // a run ends it only after a message or an error report.
        End(index == kExitIndex ? kSuccess : kFailure);
    }
}

bool Controller::CloseRequested() {
    if (ended_) {
        return true;
    }
    if (form_.Running()) {
        return false;
    }
    ended_ = true;
    exit_status_ = kSuccess;
    return true;
}

// The logic sets whole numbers; the bar shows them as they are, within its
// range, rounding down as the logic does.
void Controller::SetProgressValue(float value) {
    const float clamped = std::clamp(value, 0.0F, static_cast<float>(kProgressMaximum));
    front_end_.SetBarPosition(static_cast<int>(std::floor(clamped)));
}

void Controller::End(int status) {
    ended_ = true;
    exit_status_ = status;
    front_end_.Close();
}

}  // namespace velno::app
