#pragma once

#include <QWidget>
#include <array>

#include "app/form1.h"
#include "app/view.h"
#include "app/window_description.h"
#include "platform/contract.h"

class QCloseEvent;

namespace velno::qt {

// The updater's window drawn with Qt Widgets from the core's description:
// every control at its place, with its text, font, colour and creation
// state. It forwards button presses to the window's logic and carries out
// what the logic does to it.
class Form1Window : public QWidget, public app::View {
public:
    explicit Form1Window(const app::WindowDescription& description = app::Form1Description());

    // Hands presses of Command1 to the logic, through the event boundary.
    void Attach(app::Form1& form, platform::UserServices& user);

    // Closes the window whatever state it is in and leaves the event loop.
    void EndProgram();
    bool Ended() const { return ended_; }

    const app::WindowDescription& Description() const { return description_; }
    QWidget* ControlWidget(app::Control control) const;
    // The progress value exactly as the logic set it.
    float ProgressValue() const { return progress_value_; }

    // What the logic does to the window.
    void SetCaption(const std::string& caption) override;
    void SetVisible(app::Control control, bool visible) override;
    void SetEnabled(app::Control control, bool enabled) override;
    void SetProgressValue(float value) override;
    float ProgressMax() override;

protected:
    // Closing while a run is in progress would leave the instrument half
    // updated with its system folder unprotected, so it is refused then.
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* CreateControl(const app::ControlDescription& control);
    void ChainTabOrder();
    void Press(int index);

    const app::WindowDescription& description_;
    std::array<QWidget*, app::kControlCount> controls_{};
    app::Form1* form_ = nullptr;
    platform::UserServices* user_ = nullptr;
    float progress_value_ = 0;
    bool ended_ = false;
};

}  // namespace velno::qt
