#include "app/QuitQuestion.h"

#include "controls/QuestionFrame.h"
#include "controls/XpCmdButton.h"

#include <QKeyEvent>
#include <QLabel>
#include <QScreen>

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
    setAccessibleDescription(Question);
    const QuestionFrame frame =
        QuestionFrame::build(*this, {QStringLiteral("Quit Brevant?"), WindowSize, ButtonSize,
                                     QStringLiteral("&Quit"), QStringLiteral("&Keep watching")});
    frame.question->setObjectName(QStringLiteral("LblQuitQuestion"));
    frame.question->setText(Question);
    XpCmdButton* quit = frame.first;
    quit->setObjectName(QStringLiteral("CmdQuit"));
    XpCmdButton* keep = frame.second;
    keep->setObjectName(QStringLiteral("CmdKeepWatching"));

    connect(quit, &XpCmdButton::Click, this, [this] {
        hide();
        emit quitChosen();
    });
    connect(keep, &XpCmdButton::Click, this, &QuitQuestion::keepWatching);
    setFocusProxy(keep);
}

void QuitQuestion::ask()
{
    // Where the eye already is: over the window whose close image asked, else mid-screen.
    if (const QWidget* owner = parentWidget(); owner && owner->isVisible())
        move(owner->frameGeometry().center() - rect().center());
    else if (const QScreen* where = screen())
        move(where->availableGeometry().center() - rect().center());
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
