// The real window and user services over the fake host, offscreen.

#include <QtTest>
#include <QtWidgets>

#include "app/qt/form1_window.h"
#include "app/qt/update_folder.h"
#include "app/qt/user_services.h"
#include "core/window_states.h"
#include "fake/fake_host.h"
#include "update/messages.h"

namespace velno::testing {

using Button = QMessageBox::StandardButton;

QString Q(std::string_view text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }

// A message box as the user saw it, in one line.
QString Described(std::string_view text, QMessageBox::StandardButtons buttons,
                  QMessageBox::Icon icon, bool over_window, std::string_view state) {
    return QStringLiteral("%1 | buttons %2 | icon %3 | %4 | while %5")
        .arg(Q(text), QString::number(buttons.toInt(), 16), QString::number(icon),
             over_window ? "over the window" : "on the screen", Q(state));
}

// The instrument and the real window. At each event loop pass it notes the state
// drawn, tries to close the window mid-run, and answers an open modal box.
struct World : fake::Instrument, QObject {
    qt::Form1Window window;
    qt::QtUserServices user{&window};
    app::Controller controller{host, user, window};
    QList<Button> answers;
    QStringList boxes, states;
    int connect_at;  // the instrument is there at the start (0), comes at that box, or never (-1)

    World(int connect, QList<Button> script)
        : Instrument(connect == 0), answers(std::move(script)), connect_at(connect) {
        customEvent(nullptr);
    }
    QWidget* Control(app::Control control) { return window.ControlWidget(control); }

    const char* Drawn() {
        for (const WindowState& s : {kReady, kPreparing, kPositionList, kCompleted}) {
            if (std::ranges::all_of(app::Form1Description().controls, [&](const auto& c) {
                    return Control(c.id)->isVisible() == s.Visible(c.id) &&
                           Control(c.id)->isEnabled() == s.Enabled(c.id);
                }))
                return s.name;
        }
        return window.isVisible() ? "undescribed" : "hidden";
    }

    void customEvent(QEvent*) override {
        QCoreApplication::postEvent(this, new QEvent(QEvent::User));
        if (window.isVisible() && (states.empty() || states.back() != Drawn())) states << Drawn();
        void(controller.Form().Running() && window.close());
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        boxes << Described(box->text().toStdString(), box->standardButtons(), box->icon(),
                           box->parentWidget() == &window, Drawn());
        // Titled, plain text (never markup), modal, the first button default.
        QCOMPARE(box->windowTitle(), Q(app::kApplicationTitle));
        QCOMPARE(box->textFormat(), Qt::PlainText);
        QCOMPARE(box->windowModality(), Qt::ApplicationModal);
        const int flags = box->standardButtons().toInt();
        QCOMPARE(int(box->standardButton(box->defaultButton())), flags & -flags);
        if (int(boxes.size()) == connect_at) host.AddDrive({});
        const Button answer = answers.isEmpty() ? QMessageBox::NoButton : answers.takeFirst();
        answer == QMessageBox::NoButton ? void(box->close()) : box->button(answer)->click();
    }
};

class Form1WindowTest : public QObject {
    Q_OBJECT

private slots:
    // The window drawn as described, then the program in its event loop, which
    // the window leaves itself (not by Qt's rule for the last window, unmet by
    // a window closed while hidden).
    void runsFromDetectionToClose_data() {
        QTest::addColumn<int>("connect");
        QTest::addColumn<QList<Button>>("answers");
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<QStringList>("states");
        QTest::addColumn<int>("bar");
        QTest::addColumn<int>("status");
        using enum QMessageBox::StandardButton;
        using enum QMessageBox::Icon;
        const QString not_found =
            Described(app::kNotFoundMessage, Retry | Cancel, NoIcon, false, "hidden");
        QTest::newRow("updated") << 2 << QList{Retry, Retry, No, Ok}
                                 << QStringList{not_found, not_found,
                                                Described(update::kOverwriteQuestion, Yes | No,
                                                          NoIcon, true, kPreparing.name),
                                                Described(update::MissingFileMessage("<i>.bin"), Ok,
                                                          NoIcon, true, kPositionList.name)}
                                 << QStringList{kReady.name, kPreparing.name, kPositionList.name,
                                                kCompleted.name}
                                 << 50 << 0;
        QTest::newRow("detection cancelled")
            << -1 << QList{Cancel} << QStringList{not_found} << QStringList{} << 0 << 1;
        QTest::newRow("detection box closed")
            << -1 << QList{NoButton} << QStringList{not_found} << QStringList{} << 0 << 1;
        QTest::newRow("run fails without a position list")
            << 0 << QList{Ok}
            << QStringList{Described(update::kPositionFileNotFound, Ok, Critical, true,
                                     kPreparing.name)}
            << QStringList{kReady.name, kPreparing.name} << 0 << 1;
    }
    void runsFromDetectionToClose() {
        QFETCH(int, connect);
        QFETCH(QList<Button>, answers);
        World world(connect, answers);
        if (connect != 0) world.PositionList("\\a.bin\r\n\\<i>.bin");  // that row's run fails
        world.host.AddFile("E:\\system\\OldRel\\Veln4main.mem", "saved", fake::At(200));
        world.Stage("a.bin", "new a", 50);
        // The window's literal size and its fonts are the front end's own; one
        // label shows that it draws the description, which the core checks.
        QCOMPARE(world.window.size(), QSize(563, 196));
        for (const app::ControlDescription& control : app::Form1Description().controls) {
            if (auto* label = qobject_cast<QLabel*>(world.Control(control.id))) {
                const QFontInfo font(label->font());
                QCOMPARE(font.pixelSize(), control.font->pixels);
                QVERIFY(font.bold() && !font.italic() && !font.underline() && !font.strikeOut());
                QCOMPARE(label->text(), Q(control.text));
            }
        }
        QGuiApplication::setQuitOnLastWindowClosed(false);
        int loop = 0;
        QTEST(world.controller.Run([&] {
            QTimer::singleShot(0, &world.window, [&] {
                QVERIFY(QTest::qWaitForWindowActive(&world.window));
                QCOMPARE(world.window.windowTitle(), Q(app::kCaptionPrefix) + "1A2B3C4D");
                QCOMPARE(QApplication::focusWidget(), world.Control(app::Control::kStartButton));
                QTest::mouseClick(world.Control(app::Control::kStartButton), Qt::LeftButton);
                QCoreApplication::processEvents();
                QVERIFY(world.window.close());
            });
            QTimer::singleShot(20000, &world.window, [] { QCoreApplication::exit(2); });
            loop = QApplication::exec();
        }),
              "status");
        QCOMPARE(loop, 0);
        QVERIFY(world.controller.Ended() && !world.window.isVisible());
        QTEST(world.boxes, "boxes");
        QTEST(world.states, "states");
        QTEST(static_cast<QProgressBar*>(world.Control(app::Control::kProgressBar1))->value(),
              "bar");
        // Where a run completed, No to the question left the instrument's
        // image in the root, and the run moved the other one.
        QFETCH(int, status);
        QCOMPARE(
            world.host.HasFile("E:\\Veln4main.mem") && !world.host.HasFile("E:\\Veln4user.mem"),
            status == 0);
    }

    // The folder whose mtmp the program updates from, in a folder that holds
    // upd/MTMP and bin/: "-" stands for no chooser shown, or none found.
    void findsTheUpdateFolder_data() {
        QTest::addColumn<QString>("argument");  // empty: none
        QTest::addColumn<QString>("own");       // the program's folder
        QTest::addColumn<QString>("pick");      // in the chooser; empty: Cancel
        QTest::addColumn<QString>("folder");    // empty: the program's own
        for (const auto& [row, argument, own, pick, folder] :
             {std::array<const char*, 5>{"argument", "upd", "bin", "-", "upd"},
              {"argument names mtmp", "upd/MTMP/", "bin", "-", "upd"},
              {"own folder holds mtmp", "", "upd", "-", ""},
              {"picked", "", "bin", "upd", "upd"},
              {"picked mtmp", "", "bin", "upd/MTMP", "upd"},
              {"chooser cancelled", "", "bin", "", "-"}}) {
            QTest::newRow(row) << argument << own << pick << folder;
        }
    }
    void findsTheUpdateFolder() {
        QFETCH(QString, argument);
        QFETCH(QString, own);
        QFETCH(QString, pick);
        QTemporaryDir temp;
        QVERIFY(QDir(temp.path()).mkpath("upd/MTMP") && QDir(temp.path()).mkpath("bin"));
        QVERIFY(QDir::setCurrent(temp.path()));
        const auto at = [&](const QString& path) { return temp.path() + "/" + path; };
        int shown = 0;
        QTimer chooser;  // types the pick into the dialog's file name, as a user can
        chooser.callOnTimeout([&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr) return;
            ++shown;
            if (pick.isEmpty()) return dialog->reject();
            dialog->findChild<QLineEdit*>("fileNameEdit")->setText(at(pick));
            static_cast<QDialog*>(dialog)->accept();
        });
        chooser.start(10);
        const std::optional<std::string> found = qt::UpdateFolder(
            argument.isEmpty() ? QStringList{} : QStringList{argument},
            [](const std::string& folder) {
                return QDir(Q(folder)).entryList(QDir::Dirs).contains("mtmp", Qt::CaseInsensitive);
            },
            at(own).toStdString());
        QCOMPARE(shown, int(pick != "-"));
        QFETCH(QString, folder);
        QCOMPARE(found ? Q(*found) : "-", folder.isEmpty() || folder == "-" ? folder : at(folder));
    }
};

}  // namespace velno::testing

QTEST_MAIN(velno::testing::Form1WindowTest)
#include "form1_window_test.moc"
