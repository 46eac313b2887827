#include "config/ui/SpinButtons.h"

#include "config/ValueConversion.h"
#include "controls/XpCmdButton.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <cmath>

namespace brevant {

std::optional<double> boxNumber(const QString& text)
{
    const std::optional<double> number = conversion::number(text);
    if (!number || !std::isfinite(*number))
        return std::nullopt;
    return number;
}

SpinButtons::SpinButtons(QLineEdit* box, XpCmdButton* down, XpCmdButton* up, SpinRange range)
    : QObject(box)
    , m_box(box)
    , m_down(down)
    , m_up(up)
{
    // Nine digits each side of the point: a typed number out of range still reaches the range
    // check of Apply, and nothing the box takes is too long for the settings file's number reader.
    box->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]{0,9}([.][0-9]{0,9})?")), box));
    box->installEventFilter(this);
    connect(down, &XpCmdButton::Click, box, [box, range] { box->setText(stepped(box->text(), -1, range)); });
    connect(up, &XpCmdButton::Click, box, [box, range] { box->setText(stepped(box->text(), +1, range)); });
}

QString SpinButtons::stepped(const QString& text, int step, SpinRange range)
{
    const std::optional<double> number = boxNumber(text);
    if (!number)
        return decimalText(range.lowest);
    if (step < 0)
        return decimalText(*number <= range.lowest ? range.lowest : *number - 1);
    if (range.highest && *number >= *range.highest)
        return decimalText(*range.highest);
    return decimalText(*number + 1);
}

QString SpinButtons::decimalText(double number)
{
    return QString::number(number, 'g', 15);
}

bool SpinButtons::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_box && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            (key == Qt::Key_Up ? m_up : m_down)->activate(); // a disabled button does nothing
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace brevant
