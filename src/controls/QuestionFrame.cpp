#include "controls/QuestionFrame.h"

#include "controls/SkinPalette.h"
#include "controls/XpCanvas.h"
#include "controls/XpCmdButton.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace brevant {

QuestionFrame QuestionFrame::build(QWidget& window, const Look& look)
{
    window.setWindowTitle(look.caption);
    window.setFixedSize(look.windowSize);
    QPalette surface = window.palette();
    surface.setColor(QPalette::Window, QColor(skinPalette::WindowSurface));
    window.setPalette(surface);
    window.setAutoFillBackground(true);

    QuestionFrame frame;
    frame.canvas = new XpCanvas(&window);
    frame.canvas->setCaption(look.caption);
    frame.canvas->setFixedSingle(true); // a question, not a window to maximise or stretch

    frame.question = new QLabel(&window);
    frame.question->setAlignment(Qt::AlignCenter);
    frame.question->setWordWrap(true);
    frame.first = new XpCmdButton(look.firstButton, &window);
    frame.second = new XpCmdButton(look.secondButton, &window);
    for (XpCmdButton* button : {frame.first, frame.second})
        button->setFixedSize(look.buttonSize);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(16);
    buttons->addStretch();
    buttons->addWidget(frame.first);
    buttons->addWidget(frame.second);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(XpCanvas::frameMargins() + QMargins(20, 12, 20, 14));
    layout->setSpacing(12);
    layout->addWidget(frame.question, 1);
    layout->addLayout(buttons);
    return frame;
}

} // namespace brevant
