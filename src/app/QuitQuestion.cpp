#include "app/QuitQuestion.h"

#include "controls/SkinPalette.h"
#include "controls/XpCanvas.h"
#include "controls/XpCmdButton.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>

namespace brevant {

namespace {
constexpr QSize WindowSize(420, 170);
constexpr QSize ButtonSize(120, 25);
} // namespace

const QString QuitQuestion::Question =
    QStringLiteral("If Brevant quits, this computer is no longer protected: nothing will shut it down "
                   "cleanly when the power fails.");

QuitQuestion::QuitQuestion(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("FrmQuit"));
    setWindowTitle(QStringLiteral("Quit Brevant?"));
    setAccessibleDescription(Question);
    setFixedSize(WindowSize);
    QPalette surface = palette();
    surface.setColor(QPalette::Window, QColor(skinPalette::WindowSurface));
    setPalette(surface);
    setAutoFillBackground(true);

    auto* canvas = new XpCanvas(this);
    canvas->setCaption(QStringLiteral("Quit Brevant?"));
    canvas->setFixedSingle(true);

    auto* question = new QLabel(Question, this);
    question->setObjectName(QStringLiteral("LblQuitQuestion"));
    question->setAlignment(Qt::AlignCenter);
    question->setWordWrap(true);
    auto* quit = new XpCmdButton(QStringLiteral("&Quit"), this);
    quit->setObjectName(QStringLiteral("CmdQuit"));
    auto* keep = new XpCmdButton(QStringLiteral("&Keep watching"), this);
    keep->setObjectName(QStringLiteral("CmdKeepWatching"));
    for (XpCmdButton* button : {quit, keep})
        button->setFixedSize(ButtonSize);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(16);
    buttons->addStretch();
    buttons->addWidget(quit);
    buttons->addWidget(keep);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(XpCanvas::frameMargins() + QMargins(20, 12, 20, 14));
    layout->setSpacing(12);
    layout->addWidget(question, 1);
    layout->addLayout(buttons);

    connect(quit, &XpCmdButton::Click, this, [this] {
        hide();
        emit quitChosen();
    });
    connect(keep, &XpCmdButton::Click, this, &QuitQuestion::keepWatching);
    setFocusProxy(keep);
}

void QuitQuestion::ask()
{
    show();
    raise();
    activateWindow();
    setFocus(Qt::OtherFocusReason);
}

void QuitQuestion::keepWatching()
{
    hide();
}

void QuitQuestion::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        keepWatching();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace brevant
