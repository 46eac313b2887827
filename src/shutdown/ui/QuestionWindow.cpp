#include "shutdown/ui/QuestionWindow.h"

#include "controls/QuestionFrame.h"
#include "controls/XpCanvas.h"
#include "controls/XpCmdButton.h"
#include "shutdown/Confirmation.h"
#include "shutdown/ui/WindowParts.h"

#include <QLabel>

namespace brevant {

namespace {
constexpr QSize WindowSize(380, 150);
constexpr QSize ButtonSize(88, 25);
} // namespace

QuestionWindow::QuestionWindow(Confirmation& confirmation, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("FrmQuestion"));
    const QuestionFrame frame =
        QuestionFrame::build(*this, {QStringLiteral("System Information"), WindowSize, ButtonSize,
                                     QStringLiteral("&YES"), QStringLiteral("&NO")});
    frame.canvas->setObjectName(QStringLiteral("XpCanvas1"));
    QLabel* question = frame.question;
    question->setObjectName(QStringLiteral("Label1"));
    question->setTextFormat(Qt::PlainText); // keeps the leading blanks of the clear question
    XpCmdButton* yes = frame.first;
    yes->setObjectName(QStringLiteral("xpcmdbutton1"));
    XpCmdButton* no = frame.second;
    no->setObjectName(QStringLiteral("xpcmdbutton2"));

    closeActsAs(
        this, [&confirmation] { return confirmation.isLoaded(); },
        [&confirmation] { confirmation.pressNo(); });
    connect(yes, &XpCmdButton::Click, &confirmation, &Confirmation::pressYes);
    connect(no, &XpCmdButton::Click, &confirmation, &Confirmation::pressNo);
    connect(&confirmation, &Confirmation::questionShown, this, [this, question, no](const QString& text) {
        question->setText(text);
        setAccessibleDescription(text.trimmed());
        bringUp();
        // A stray Enter or Space answers NO.
        no->setFocus(Qt::OtherFocusReason);
    });
    connect(&confirmation, &Confirmation::questionRaised, this, &QuestionWindow::bringUp);
    connect(&confirmation, &Confirmation::questionUnloaded, this, &QWidget::hide);
}

void QuestionWindow::bringUp()
{
    show();
    raise();
    activateWindow();
}

} // namespace brevant
