#include "app/QuestionWindow.h"

#include "controls/XpCmdButton.h"
#include "engine/Confirmation.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace brevant {

QuestionWindow::QuestionWindow(Confirmation& sequence, QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("FrmQuestion"));
    setWindowTitle(QStringLiteral("System Information"));
    auto* question = new QLabel(this);
    question->setObjectName(QStringLiteral("Label1"));
    auto* yes = new XpCmdButton(QStringLiteral("YES"), this);
    yes->setObjectName(QStringLiteral("xpcmdbutton1"));
    auto* no = new XpCmdButton(QStringLiteral("NO"), this);
    no->setObjectName(QStringLiteral("xpcmdbutton2"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(yes);
    buttons->addWidget(no);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 16);
    layout->setSpacing(16);
    layout->addWidget(question);
    layout->addLayout(buttons);

    connect(yes, &XpCmdButton::Click, &sequence, &Confirmation::pressYes);
    connect(no, &XpCmdButton::Click, &sequence, &Confirmation::pressNo);
    connect(&sequence, &Confirmation::questionShown, this, [this, question](const QString& text) {
        question->setText(text);
        show();
        raise();
        activateWindow();
    });
    connect(&sequence, &Confirmation::questionUnloaded, this, &QWidget::hide);
}

} // namespace brevant
