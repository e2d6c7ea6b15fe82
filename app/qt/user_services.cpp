#include "app/qt/user_services.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QMessageBox>
#include <QWidget>

#include "app/window_description.h"

namespace velno::qt {

namespace {

// A message box that tells a click on one of its buttons from closing the
// box by its frame: closing chooses neither Yes nor Retry.
class MessageBox : public QMessageBox {
public:
    using QMessageBox::QMessageBox;
    bool ClosedWithoutChoice() const { return closed_without_choice_; }

protected:
    void closeEvent(QCloseEvent* event) override {
        const bool chosen = clickedButton() != nullptr;
        QMessageBox::closeEvent(event);
        if (event->isAccepted() && !chosen) {
            closed_without_choice_ = true;
        }
    }

private:
    bool closed_without_choice_ = false;
};

QMessageBox::StandardButtons ButtonsOf(platform::Buttons buttons) {
    switch (buttons) {
        case platform::Buttons::kYesNo:
            return QMessageBox::Yes | QMessageBox::No;
        case platform::Buttons::kRetryCancel:
            return QMessageBox::Retry | QMessageBox::Cancel;
        case platform::Buttons::kOk:
            break;
    }
    return QMessageBox::Ok;
}

// The first button of each set is the default, as on the instrument's
// original host.
QMessageBox::StandardButton DefaultOf(platform::Buttons buttons) {
    switch (buttons) {
        case platform::Buttons::kYesNo:
            return QMessageBox::Yes;
        case platform::Buttons::kRetryCancel:
            return QMessageBox::Retry;
        case platform::Buttons::kOk:
            break;
    }
    return QMessageBox::Ok;
}

platform::Answer AnswerOf(QMessageBox::StandardButton button) {
    switch (button) {
        case QMessageBox::Ok:
            return platform::Answer::kOk;
        case QMessageBox::Yes:
            return platform::Answer::kYes;
        case QMessageBox::No:
            return platform::Answer::kNo;
        case QMessageBox::Retry:
            return platform::Answer::kRetry;
        case QMessageBox::Cancel:
            return platform::Answer::kCancel;
        default:
            return platform::Answer::kClosed;
    }
}

}  // namespace

QtUserServices::QtUserServices(QWidget* window) : window_(window) {}

platform::Answer QtUserServices::ShowMessage(const std::string& text, platform::Buttons buttons,
                                             platform::Icon icon) {
    QWidget* parent = (window_ != nullptr && window_->isVisible()) ? window_.data() : nullptr;
    MessageBox box(icon == platform::Icon::kCritical ? QMessageBox::Critical : QMessageBox::NoIcon,
                   QString::fromUtf8(app::kApplicationTitle.data(),
                                     static_cast<qsizetype>(app::kApplicationTitle.size())),
                   QString::fromStdString(text), ButtonsOf(buttons), parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(DefaultOf(buttons));
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
    if (box.ClosedWithoutChoice()) {
        return platform::Answer::kClosed;
    }
    return AnswerOf(box.standardButton(box.clickedButton()));
}

void QtUserServices::PumpEvents() { QCoreApplication::processEvents(); }

}  // namespace velno::qt
