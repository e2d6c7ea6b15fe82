#include "app/qt/form1_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QIcon>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace velno::qt {

namespace {

QString ToQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QRect PixelRect(const app::ControlDescription& control) {
    const app::Rect pixels = control.Pixels();
    return {pixels.left, pixels.top, pixels.width, pixels.height};
}

// The described face where the system has it, otherwise the platform's
// ordinary sans-serif face, always at the described pixel size.
QFont DescribedFont(const app::Font& font) {
    QFont result;
    const QString face = ToQString(font.face);
    if (QFontDatabase::hasFamily(face)) {
        result.setFamily(face);
    } else {
        result = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
        result.setStyleHint(QFont::SansSerif);
    }
    result.setPixelSize(font.pixels);
    result.setBold(font.bold);
    result.setItalic(false);
    result.setUnderline(false);
    result.setStrikeOut(false);
    return result;
}

QLabel* CreateLabel(const app::ControlDescription& control, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setText(ToQString(control.text));
    label->setWordWrap(true);
    const Qt::Alignment horizontal =
        control.alignment == app::Alignment::kCentre ? Qt::AlignHCenter : Qt::AlignLeft;
    label->setAlignment(horizontal | Qt::AlignTop);
    if (control.font) {
        label->setFont(DescribedFont(*control.font));
    }
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText,
                     QColor(control.colour.red, control.colour.green, control.colour.blue));
    label->setPalette(palette);
    return label;
}

}  // namespace

Form1Window::Form1Window(const app::WindowDescription& description) {
    setObjectName(ToQString(description.name));
    setWindowTitle(ToQString(description.creation_title));
    setWindowIcon(QIcon(QStringLiteral(":/velno/velno-updater-48.png")));
    // The client area at its described size and place; nothing reacts to a
    // change of size, so the window keeps it.
    setGeometry(description.design_left_twips / app::kTwipsPerPixel,
                description.design_top_twips / app::kTwipsPerPixel, description.ClientWidthPixels(),
                description.ClientHeightPixels());
    setFixedSize(description.ClientWidthPixels(), description.ClientHeightPixels());

    for (const app::ControlDescription& control : description.controls) {
        QWidget* widget = CreateControl(control);
        widget->setObjectName(ToQString(control.name) +
                              (control.index >= 0 ? QString::number(control.index) : QString()));
        widget->setGeometry(PixelRect(control));
        widget->setVisible(control.visible_at_creation);
        widget->setEnabled(control.enabled_at_creation);
        controls_[app::IndexOf(control.id)] = widget;
    }
    // Keyboard focus moves through the controls that take it in the order
    // of their tab indexes.
    QWidget* previous = nullptr;
    for (const app::Control control : description.TabOrder()) {
        QWidget* widget = ControlWidget(control);
        if ((widget->focusPolicy() & Qt::TabFocus) == 0) {
            continue;
        }
        if (previous != nullptr) {
            setTabOrder(previous, widget);
        }
        previous = widget;
    }
    ControlWidget(description.initial_focus)->setFocus(Qt::OtherFocusReason);
}

QWidget* Form1Window::CreateControl(const app::ControlDescription& control) {
    switch (control.kind) {
        case app::ControlKind::kLabel:
            return CreateLabel(control, this);
        case app::ControlKind::kPushButton: {
            auto* button = new QPushButton(ToQString(control.text), this);
            button->setAutoDefault(false);
            button->setDefault(false);
            const int index = control.index;
            connect(button, &QPushButton::clicked, this, [this, index] { Pressed(index); });
            return button;
        }
        case app::ControlKind::kProgressBar: {
            auto* bar = new QProgressBar(this);
            bar->setRange(0, app::kProgressMaximum);
            bar->setValue(0);
            bar->setTextVisible(false);
            return bar;
        }
    }
    return new QWidget(this);
}

void Form1Window::Show() {
    show();
    raise();
    activateWindow();
}

void Form1Window::Close() {
    closing_ = true;
    close();
    QCoreApplication::quit();
}

void Form1Window::closeEvent(QCloseEvent* event) {
    if (!closing_ && !CloseRequested()) {
        event->ignore();
        return;
    }
    closing_ = true;
    event->accept();
    QCoreApplication::quit();
}

void Form1Window::SetCaption(const std::string& caption) {
    setWindowTitle(QString::fromStdString(caption));
}

void Form1Window::SetVisible(app::Control control, bool visible) {
    ControlWidget(control)->setVisible(visible);
}

void Form1Window::SetEnabled(app::Control control, bool enabled) {
    ControlWidget(control)->setEnabled(enabled);
}

void Form1Window::SetBarPosition(int position) {
    static_cast<QProgressBar*>(ControlWidget(app::Control::kProgressBar1))->setValue(position);
}

}  // namespace velno::qt
