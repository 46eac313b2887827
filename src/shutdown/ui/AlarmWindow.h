#pragma once

#include <QColor>
#include <QWidget>

namespace brevant {

class AlarmController;

// The last warning before an automatic shutdown (frmAlarm): a skinned window that stays on top,
// with its picture, the message, the progress bar and the Shutdown and Cancel buttons. It draws
// what the alarm model says (the bar's chunks, whether the window is up) and sends its buttons to
// the model. The title bar's images do nothing here: the window cannot be dragged, minimised or
// closed by them. A close from the window manager (Alt+F4, the task bar) is a Cancel, as is Escape:
// the bar never runs on with the window gone.
class AlarmWindow : public QWidget
{
    Q_OBJECT

public:
    static constexpr QRgb Background = qRgb(207, 207, 207);
    static constexpr QRgb GradientLeft = qRgb(131, 166, 244);
    static constexpr QRgb GradientRight = qRgb(33, 120, 224);

    explicit AlarmWindow(AlarmController& alarm, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    class Bar;

    Bar* m_bar;
};

} // namespace brevant
