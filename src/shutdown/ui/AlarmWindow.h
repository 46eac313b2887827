#pragma once

#include <QWidget>

namespace brevant {

class AlarmController;

// The last warning before an automatic shutdown. It draws what the alarm model says: the bar's
// chunks, and whether the window is up; its two buttons go straight to the model.
class AlarmWindow : public QWidget
{
    Q_OBJECT

public:
    explicit AlarmWindow(AlarmController& alarm, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    class Bar;
    Bar* m_bar;
};

} // namespace brevant
