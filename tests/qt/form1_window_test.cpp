// The real window and user services over the fake host, offscreen.

#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>
#include <algorithm>
#include <functional>
#include <optional>

#include "app/qt/form1_window.h"
#include "app/qt/user_services.h"
#include "core/window_states.h"
#include "fake/fake_host.h"
#include "message_boxes.h"
#include "update/messages.h"

namespace velno::testing {

using app::Control;
using fake::At;

namespace {

QString Q(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Counts the times the window is shown and keeps its title at the first.
class ShowWatcher : public QObject {
public:
    explicit ShowWatcher(QWidget& window) { window.installEventFilter(this); }
    int shows = 0;
    QString first_title;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show) {
            if (shows++ == 0) {
                first_title = static_cast<QWidget*>(watched)->windowTitle();
            }
        }
        return false;
    }
};

// Calls its action once per pass of the event loop (once per PumpEvents).
class PumpProbe : public QObject {
public:
    explicit PumpProbe(std::function<void()> action) : action_(std::move(action)) {
        QCoreApplication::postEvent(this, new QEvent(QEvent::User));
    }

protected:
    void customEvent(QEvent*) override {
        action_();
        QCoreApplication::postEvent(this, new QEvent(QEvent::User));
    }

private:
    std::function<void()> action_;
};

// The typical instrument, the real window over it and its message boxes.
struct World : fake::Instrument {
    qt::Form1Window window;
    qt::QtUserServices user{&window};
    app::Controller controller{host, user, window};
    MessageBoxes boxes;

    explicit World(bool connected = true) : Instrument(connected) {}
    QWidget* Control(app::Control control) { return window.ControlWidget(control); }
    void Press(app::Control button) { QTest::mouseClick(Control(button), Qt::LeftButton); }
};

void ExpectState(World& world, const WindowState& state) {
    for (const app::ControlDescription& control : app::Form1Description().controls) {
        QWidget* widget = world.Control(control.id);
        QVERIFY2(widget->isVisible() == state.Visible(control.id), qPrintable(Q(control.name)));
        QVERIFY2(widget->isEnabled() == state.Enabled(control.id), qPrintable(Q(control.name)));
    }
}

// The program has ended with that exit status and its window is closed.
void ExpectEnded(World& world, int status) {
    QVERIFY(world.controller.Ended());
    QCOMPARE(world.controller.ExitStatus(), status);
    QVERIFY(!world.window.isVisible());
}

}  // namespace

class Form1WindowTest : public QObject {
    Q_OBJECT

private slots:
    void drawnFromDescription() {
        World world;
        qt::Form1Window& window = world.window;
        const app::WindowDescription& description = app::Form1Description();
        QCOMPARE(window.windowTitle(), Q(description.creation_title));
        QCOMPARE(window.size(), QSize(563, 196));
        for (const app::ControlDescription& control : description.controls) {
            QWidget* widget = world.Control(control.id);
            const app::Rect px = control.Pixels();
            QCOMPARE(widget->geometry(), QRect(px.left, px.top, px.width, px.height));
            QCOMPARE(widget->isVisibleTo(&window), control.visible_at_creation);
            if (auto* button = qobject_cast<QPushButton*>(widget)) {
                QCOMPARE(button->text(), Q(control.text));
            } else if (auto* label = qobject_cast<QLabel*>(widget)) {
                QCOMPARE(label->text(), Q(control.text));
                const QFontInfo font(label->font());
                if (QFontDatabase::hasFamily(Q(control.font->face))) {
                    QCOMPARE(font.family(), Q(control.font->face));
                }
                QCOMPARE(font.pixelSize(), control.font->pixels);
                QVERIFY(font.bold() && !font.italic() && !font.underline() && !font.strikeOut());
                const app::Colour c = control.colour;
                QCOMPARE(label->palette().color(QPalette::WindowText),
                         QColor(c.red, c.green, c.blue));
                QCOMPARE(label->alignment() & Qt::AlignHorizontal_Mask,
                         control.alignment == app::Alignment::kCentre ? Qt::AlignHCenter
                                                                      : Qt::AlignLeft);
                // The text wraps inside the label's fixed size, never beyond.
                QVERIFY2(label->heightForWidth(px.width) <= px.height, qPrintable(Q(control.name)));
            } else {
                QVERIFY(qobject_cast<QProgressBar*>(widget) != nullptr);
            }
        }
    }

    void startUpShowsReadyWindowWithSerial() {
        World world;
        ShowWatcher watcher(world.window);
        QVERIFY(world.controller.Start());
        QVERIFY(QTest::qWaitForWindowActive(&world.window));
        QCOMPARE(watcher.shows, 1);
        QCOMPARE(watcher.first_title, Q(app::kCaptionPrefix) + "1A2B3C4D");
        ExpectState(world, kReady);
        // Focus starts on "Start Updating" and Tab moves it to "Exit".
        QCOMPARE(QApplication::focusWidget(), world.Control(Control::kStartButton));
        QTest::keyClick(&world.window, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), world.Control(Control::kExitButton));
        QTest::keyClick(&world.window, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), world.Control(Control::kStartButton));
        // Return on a focused button is no default action.
        QTest::keyClick(&world.window, Qt::Key_Return);
        ExpectState(world, kReady);
        // In Ready, closing the window ends the program as the user asked.
        QVERIFY(world.window.close());
        ExpectEnded(world, 0);
    }

    void detectionAsksUntilConnectedOrEnds_data() {
        QTest::addColumn<int>("second");
        QTest::addColumn<bool>("shown");
        QTest::newRow("retry after connecting") << int(QMessageBox::Retry) << true;
        QTest::newRow("cancel") << int(QMessageBox::Cancel) << false;
        QTest::newRow("box closed") << int(QMessageBox::NoButton) << false;
    }
    void detectionAsksUntilConnectedOrEnds() {
        QFETCH(int, second);
        QFETCH(bool, shown);
        World world(false);
        ShowWatcher watcher(world.window);
        world.boxes.Answer(QMessageBox::Retry);
        // The instrument is connected while the second question is open.
        world.boxes.Answer(static_cast<QMessageBox::StandardButton>(second),
                           [&] { world.host.AddDrive({.serial = 0}); });
        QCOMPARE(world.controller.Start(), shown);
        QCOMPARE(world.boxes.seen.size(), std::size_t{2});
        const MessageBoxes::Seen& box = world.boxes.seen[0];
        QCOMPARE(box.text, Q(app::kNotFoundMessage));
        QCOMPARE(box.title, Q(app::kApplicationTitle));
        QCOMPARE(box.icon, QMessageBox::NoIcon);
        QCOMPARE(box.buttons, QMessageBox::Retry | QMessageBox::Cancel);
        QCOMPARE(watcher.shows, shown ? 1 : 0);
        if (shown) {
            QCOMPARE(world.window.windowTitle(), Q(app::kCaptionPrefix) + "0");
        } else {
            ExpectEnded(world, 1);
        }
    }

    void exitInReadyEndsWithNothingChanged() {
        World world;
        world.PositionList("\\a.bin");
        QVERIFY(world.controller.Start());
        const long operations = world.host.OperationCount();
        world.Press(Control::kExitButton);
        ExpectEnded(world, 0);
        QCOMPARE(world.host.OperationCount(), operations);  // the host is not even asked
    }

    void runShowsItsStatesAndRefusesClose() {
        World world;
        world.PositionList("\\a.bin\r\n\\data\\b.bin\r\n-\\old.bin");
        world.host.AddFile("E:\\old.bin", "old", At(1));
        world.Stage("a.bin", "new a", 50);
        world.Stage("b.bin", "new b", 50);
        QVERIFY(world.controller.Start());
        // At every pump of the run: the state, the bar and a refused close.
        std::vector<int> bar_values;
        int refused = 0;
        std::optional<PumpProbe> probe;
        probe.emplace([&] {
            if (!world.controller.Form().Running()) {
                return;
            }
            ExpectState(world, kPositionList);
            bar_values.push_back(
                static_cast<QProgressBar*>(world.Control(Control::kProgressBar1))->value());
            refused += world.window.close() ? 0 : 1;
        });
        world.Press(Control::kStartButton);
        probe.reset();

        // The bar advances from 0 to 66 of 100 (the last of three entries).
        QVERIFY(!bar_values.empty());
        QCOMPARE(bar_values.front(), 0);
        QVERIFY(std::is_sorted(bar_values.begin(), bar_values.end()));
        QCOMPARE(static_cast<QProgressBar*>(world.Control(Control::kProgressBar1))->value(), 66);
        QVERIFY(refused > 0);
        QVERIFY(world.window.isVisible() && !world.controller.Ended());
        ExpectState(world, kCompleted);
        QCOMPARE(world.boxes.seen.size(), std::size_t{0});
        QVERIFY(world.host.HasFile("E:\\data\\b.bin") && !world.host.HasFile("E:\\old.bin"));
        // Once completed, closing the window ends the program.
        QVERIFY(world.window.close());
        ExpectEnded(world, 0);
    }

    void questionsDuringTheRunAreAnswered() {
        World world;
        world.PositionList("\\a.bin\r\n\\missing.bin");
        world.host.AddFile("E:\\system\\OldRel\\Veln4main.mem", "saved", At(200));
        world.Stage("a.bin", "new a", 50);
        QVERIFY(world.controller.Start());
        // The backup's question comes while the run prepares the instrument,
        // the missing file's message while it applies the position list.
        world.boxes.Answer(QMessageBox::No, [&] { ExpectState(world, kPreparing); });
        world.boxes.Answer(QMessageBox::Ok, [&] { ExpectState(world, kPositionList); });
        world.Press(Control::kStartButton);
        QCOMPARE(world.boxes.seen.size(), std::size_t{2});
        QCOMPARE(world.boxes.seen[0].text, Q(update::kOverwriteQuestion));
        QCOMPARE(world.boxes.seen[0].buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(world.boxes.seen[1].text, Q(update::MissingFileMessage("missing.bin")));
        QCOMPARE(world.boxes.seen[1].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(world.boxes.seen[1].icon, QMessageBox::NoIcon);
        // The answer No reached the run: the image stays in the root.
        QVERIFY(world.host.HasFile("E:\\Veln4main.mem"));
        ExpectState(world, kCompleted);
    }

    void failureEndsWithOneReport_data() {
        QTest::addColumn<bool>("with_position_list");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("copy fails")
            << true << QStringList{"CopyFile", "E:\\a.bin", "not enough space"};
        QTest::newRow("precondition") << false << QStringList{Q(update::kPositionFileNotFound)};
    }
    void failureEndsWithOneReport() {
        QFETCH(bool, with_position_list);
        QFETCH(QStringList, expected);
        World world;
        if (with_position_list) {
            world.PositionList("\\a.bin");
            world.Stage("a.bin", "new a", 50);
            world.host.SetCapacity("E:", 1);
            world.host.RemoveDrive("E:");  // one without figures, so the copy itself fails
            world.host.AddDrive({.reports_space = false});
        }
        QVERIFY(world.controller.Start());
        world.boxes.Answer(QMessageBox::Ok);
        world.Press(Control::kStartButton);
        QCOMPARE(world.boxes.seen.size(), std::size_t{1});
        QCOMPARE(world.boxes.seen[0].icon, QMessageBox::Critical);
        QCOMPARE(world.boxes.seen[0].title, Q(app::kApplicationTitle));
        for (const QString& part : expected) {
            QVERIFY2(world.boxes.seen[0].text.contains(part), qPrintable(world.boxes.seen[0].text));
        }
        // The run ended the program: the window closes in whatever state it
        // had, and the program fails.
        ExpectEnded(world, 1);
    }
};

}  // namespace velno::testing

QTEST_MAIN(velno::testing::Form1WindowTest)
#include "form1_window_test.moc"
