#include "shutdown/ui/QuestionWindow.h"

#include "controls/SkinPalette.h"
#include "controls/XpCanvas.h"
#include "controls/XpCmdButton.h"
#include "shutdown/Confirmation.h"
#include "shutdown/ui/WindowParts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace brevant {

namespace {
constexpr QSize WindowSize(380, 150);
constexpr QSize ButtonSize(88, 25);
} // namespace

QuestionWindow::QuestionWindow(Confirmation& confirmation, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("FrmQuestion"));
    setWindowTitle(QStringLiteral("System Information"));
    setFixedSize(WindowSize);
    QPalette surface = palette();
    surface.setColor(QPalette::Window, QColor(skinPalette::WindowSurface));
    setPalette(surface);
    setAutoFillBackground(true);

    auto* canvas = new XpCanvas(this);
    canvas->setObjectName(QStringLiteral("XpCanvas1"));
    canvas->setCaption(QStringLiteral("System Information"));
    canvas->setFixedSingle(true); // a question, not a window to maximise or stretch

    auto* question = new QLabel(this);
    question->setObjectName(QStringLiteral("Label1"));
    question->setAlignment(Qt::AlignCenter);
    question->setWordWrap(true);
    question->setTextFormat(Qt::PlainText); // keeps the leading blanks of the clear question
    auto* yes = new XpCmdButton(QStringLiteral("&YES"), this);
    yes->setObjectName(QStringLiteral("xpcmdbutton1"));
    auto* no = new XpCmdButton(QStringLiteral("&NO"), this);
    no->setObjectName(QStringLiteral("xpcmdbutton2"));
    for (XpCmdButton* button : {yes, no})
        button->setFixedSize(ButtonSize);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(16);
    buttons->addStretch();
    buttons->addWidget(yes);
    buttons->addWidget(no);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(XpCanvas::frameMargins() + QMargins(20, 12, 20, 14));
    layout->setSpacing(12);
    layout->addWidget(question, 1);
    layout->addLayout(buttons);

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
