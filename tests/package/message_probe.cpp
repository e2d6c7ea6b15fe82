// Loaded into the packaged program with LD_PRELOAD by the package test. Once
// the program's application object exists, it prints the text of every
// message box the program shows and answers it with Cancel (or closes it),
// and cancels the folder chooser, so that the program ends by itself.

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

namespace {

void AnswerMessageBoxes() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* chooser = qobject_cast<QFileDialog*>(widget); chooser && chooser->isVisible()) {
            std::printf("chooser: %s\n", chooser->windowTitle().toUtf8().constData());
            chooser->reject();
            continue;
        }
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box == nullptr || !box->isVisible()) {
            continue;
        }
        std::printf("message: %s\n", box->text().toUtf8().constData());
        std::fflush(stdout);
        if (QAbstractButton* cancel = box->button(QMessageBox::Cancel)) {
            cancel->click();
        } else {
            box->close();
        }
    }
}

void WatchMessageBoxes() {
    auto* timer = new QTimer(QCoreApplication::instance());
    QObject::connect(timer, &QTimer::timeout, &AnswerMessageBoxes);
    timer->start(50);
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(WatchMessageBoxes)
