#pragma once

#include <QObject>
#include <QString>
#include <optional>

class QLineEdit;

namespace brevant {

class XpCmdButton;

// Where the spin buttons of a number box stop.
struct SpinRange
{
    double lowest;                 // Down never goes below it
    std::optional<double> highest; // Up never goes above it; without it Up has no bound
};

// The "<" and ">" buttons of a number box of the settings pages. Down takes the box's number one
// lower, or to the lowest value when it is there or below; Up takes it one higher, or to the
// highest value when it is there or above. A box that holds no number (empty, or text that is not
// a decimal number) gets the lowest value from either button.
//
// The box accepts only decimal text as the user types or pastes (digits with an optional fraction),
// so it cannot be given letters; what the settings file holds is put in as it is. In the box, the
// Up and Down arrow keys press the buttons.
class SpinButtons : public QObject
{
    Q_OBJECT

public:
    SpinButtons(QLineEdit* box, XpCmdButton* down, XpCmdButton* up, SpinRange range);

    // The box's text after a press of Down (step -1) or Up (step +1).
    static QString stepped(const QString& text, int step, SpinRange range);
    // A number as the boxes show it: decimal, without a leading blank or an exponent for numbers of
    // the boxes' size.
    static QString decimalText(double number);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* m_box;
    XpCmdButton* m_down;
    XpCmdButton* m_up;
};

// The number in a box's text, when it holds a finite decimal number.
std::optional<double> boxNumber(const QString& text);

} // namespace brevant
