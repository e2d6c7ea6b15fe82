#pragma once

#include <QPointer>
#include <QString>

#include "platform/contract.h"

class QWidget;

namespace velno::qt {

// The user services of the logic, with Qt: modal message boxes, event
// processing, and ending the program.
class QtUserServices : public platform::UserServices {
public:
    // The boxes are centred on the window once it is shown.
    explicit QtUserServices(QWidget* window = nullptr);

    platform::Answer ShowMessage(const std::string& text, platform::Buttons buttons,
                                 platform::Icon icon) override;
    void PumpEvents() override;

private:
    QPointer<QWidget> window_;
};

}  // namespace velno::qt
