#pragma once

#include <QWidget>

namespace brevant {

class StatusDisplay;

// The power-flow picture: mains, battery and computer joined by pipes; the pipe the status
// model shows is drawn in its colour, in the phase its animation has reached.
class PowerFlowView : public QWidget
{
    Q_OBJECT

public:
    explicit PowerFlowView(const StatusDisplay& display, QWidget* parent = nullptr);
    QSize sizeHint() const override { return {360, 110}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const StatusDisplay& m_display;
};

} // namespace brevant
