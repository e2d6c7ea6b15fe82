#pragma once

#include <chrono>

#include "platform/contract.h"

namespace velno::update {

// The turns of the window's event loop during a run. Each entry of the
// position list and each chunk of a copy gives the window one (Turn). The
// passes and steps that have no turn of their own (the room check, the
// counting pass, the backup, the steps around them) ask for one often
// (WhenDue), and get it once the last turn is kInterval ago: the window then
// waits no longer than that plus one step, however long the list.
class EventTurns {
public:
    static constexpr std::chrono::milliseconds kInterval{25};

    explicit EventTurns(platform::UserServices& user) : user_(user), last_(user.Now()) {}

    void Turn() {
        user_.PumpEvents();
        last_ = user_.Now();
    }
    void WhenDue() {
        if (user_.Now() - last_ >= kInterval) {
            Turn();
        }
    }

private:
    platform::UserServices& user_;
    std::chrono::steady_clock::time_point last_;
};

}  // namespace velno::update
