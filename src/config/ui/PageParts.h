#pragma once

#include "config/ui/SpinButtons.h"

#include <QString>

class QHBoxLayout;
class QLineEdit;
class QWidget;

namespace brevant {

class XpCmdButton;

// Pieces the settings sub-pages are built from, so that they look and behave alike.

// The widget, named as the program knows it.
template <typename W>
W* named(W* widget, const char* name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

// A number box between its Down ("<") and Up (">") buttons, in a row, created in the order Tab
// visits them, with their names and the spin buttons' behaviour.
struct SpinField
{
    struct Names
    {
        const char* down;
        const char* box;
        const char* up;
    };

    SpinField(QWidget* parent, Names names, const QString& text, SpinRange range);

    XpCmdButton* down;
    QLineEdit* box;
    XpCmdButton* up;
    QHBoxLayout* row;
};

// The Apply and Help buttons at the bottom right of a sub-page.
QHBoxLayout* buttonRow(XpCmdButton* apply, XpCmdButton* help);

} // namespace brevant
