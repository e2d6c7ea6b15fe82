#pragma once

#include <string>

#include "update/window_controls.h"

namespace velno::app {

// What the logic does to the drawn window: the run's control changes plus
// the caption, which detection sets.
class View : public update::WindowControls {
public:
    virtual void SetCaption(const std::string& caption) = 0;
};

}  // namespace velno::app
