#pragma once

#include <QSize>
#include <QString>

class QLabel;
class QWidget;

namespace brevant {

class XpCanvas;
class XpCmdButton;

// The parts of a skinned question window: the framed canvas with its caption, the question
// centred above two buttons side by side. The window that asks gives them their names and
// meanings.
struct QuestionFrame
{
    struct Look
    {
        QString caption;
        QSize windowSize;
        QSize buttonSize;
        QString firstButton;
        QString secondButton;
    };

    // Gives the (frameless) window its fixed size, the skin's colours and the caption, and lays
    // the parts out in it.
    static QuestionFrame build(QWidget& window, const Look& look);

    XpCanvas* canvas = nullptr;
    QLabel* question = nullptr;
    XpCmdButton* first = nullptr;
    XpCmdButton* second = nullptr;
};

} // namespace brevant
