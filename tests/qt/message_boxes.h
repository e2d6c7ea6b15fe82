#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <deque>
#include <functional>
#include <utility>
#include <vector>

namespace velno::testing {

// Answers the program's modal message boxes as a user would: every box that
// opens is recorded and gets the next scripted answer; a box beyond the
// script is closed, so a test never hangs on it.
class MessageBoxes : public QObject {
public:
    struct Seen {
        QString title;
        QString text;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
    };
    std::vector<Seen> seen;

    // NoButton closes the box by its frame. The action runs while the box is
    // open, before the answer.
    void Answer(QMessageBox::StandardButton button, std::function<void()> action = {}) {
        answers_.push_back({button, std::move(action)});
    }

    MessageBoxes() {
        connect(&timer_, &QTimer::timeout, this, [this] { Poll(); });
        timer_.start(5);
    }

private:
    void Poll() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || box == handled_ || !box->isVisible()) {
            return;
        }
        handled_ = box;
        seen.push_back({box->windowTitle(), box->text(), box->icon(), box->standardButtons()});
        // Past the script: close the box.
        std::pair<QMessageBox::StandardButton, std::function<void()>> next{QMessageBox::NoButton,
                                                                           {}};
        if (!answers_.empty()) {
            next = std::move(answers_.front());
            answers_.pop_front();
        }
        const auto& [answer, action] = next;
        if (action) {
            action();
        }
        if (answer == QMessageBox::NoButton) {
            box->close();
        } else {
            box->button(answer)->click();
        }
    }

    QTimer timer_;
    QPointer<QMessageBox> handled_;
    std::deque<std::pair<QMessageBox::StandardButton, std::function<void()>>> answers_;
};

}  // namespace velno::testing
