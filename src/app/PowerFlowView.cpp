#include "app/PowerFlowView.h"

#include "monitor/StatusDisplay.h"

#include <QPainter>

namespace brevant {

PowerFlowView::PowerFlowView(const StatusDisplay& display, QWidget* parent)
    : QWidget(parent)
    , m_display(display)
{
    setObjectName(QStringLiteral("Image1"));
    connect(&display, &StatusDisplay::elementChanged, this, qOverload<>(&QWidget::update));
    connect(&display, &StatusDisplay::flowPictureChanged, this, qOverload<>(&QWidget::update));
}

void PowerFlowView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor idle(0xc8, 0xcd, 0xd4);
    const QRectF mains(10, 15, 80, 36);
    const QRectF battery(10, 65, 80, 36);
    const QRectF computer(width() - 90.0, 40, 80, 36);

    auto box = [&](const QRectF& r, const QString& text, bool active, QColor color) {
        p.setPen(QPen(active ? color : idle, 2));
        p.setBrush(active ? color.lighter(185) : QColor(0xf4, 0xf5, 0xf7));
        p.drawRoundedRect(r, 6, 6);
        p.setPen(QColor(0x22, 0x26, 0x2b));
        p.drawText(r, Qt::AlignCenter, text);
    };
    auto pipe = [&](const QRectF& from, bool phaseA, bool phaseB, QColor color) {
        const QPointF a(from.right(), from.center().y());
        const QPointF b(computer.left(), computer.center().y());
        const bool on = phaseA || phaseB;
        QPen pen(on ? color : idle, 5, Qt::SolidLine, Qt::RoundCap);
        // The two phases of a pipe alternate: drawn dashed in one, solid in the other.
        if (phaseA != phaseB)
            pen.setDashPattern({2, 1.5});
        p.setPen(pen);
        p.drawLine(a, b);
    };

    const QColor green(0x2e, 0x9d, 0x4f);
    const QColor orange(0xf0, 0x8a, 0x00);
    const QColor red(0xd9, 0x21, 0x21);
    using E = StatusDisplay::Element;
    const bool mainsOn = m_display.isVisible(E::ImageAC1) || m_display.isVisible(E::ImageAC2);
    const bool lowOn = m_display.isVisible(E::ImageBL1) || m_display.isVisible(E::ImageBL2);
    const bool batteryOn = m_display.isVisible(E::ImageDC1) || m_display.isVisible(E::ImageDC2) || lowOn;
    pipe(mains, m_display.isVisible(E::ImageAC1), m_display.isVisible(E::ImageAC2), green);
    if (lowOn)
        pipe(battery, m_display.isVisible(E::ImageBL1), m_display.isVisible(E::ImageBL2), red);
    else
        pipe(battery, m_display.isVisible(E::ImageDC1), m_display.isVisible(E::ImageDC2), orange);
    box(mains, tr("Mains"), mainsOn, green);
    box(battery, tr("Battery"), batteryOn, lowOn ? red : orange);
    box(computer, tr("Computer"), true, QColor(0x1f, 0x6f, 0xd1));
}

} // namespace brevant
