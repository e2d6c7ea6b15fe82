#pragma once

#include <QWidget>
#include <array>

#include "app/controller.h"
#include "app/window_description.h"

class QCloseEvent;

namespace velno::qt {

// The updater's window drawn with Qt Widgets from the description: every
// control at its place, with its text, font, colour and creation state. It
// hands button presses and requests to close to the controller and carries
// out what the controller does to it.
class Form1Window : public QWidget, public app::FrontEnd {
public:
    explicit Form1Window(const app::WindowDescription& description = app::Form1Description());

    QWidget* ControlWidget(app::Control control) const { return controls_[app::IndexOf(control)]; }

    void SetCaption(const std::string& caption) override;
    void SetVisible(app::Control control, bool visible) override;
    void SetEnabled(app::Control control, bool enabled) override;
    void SetBarPosition(int position) override;
    void Show() override;
    void Close() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* CreateControl(const app::ControlDescription& control);

    std::array<QWidget*, app::kControlCount> controls_{};
    bool closing_ = false;
};

}  // namespace velno::qt
