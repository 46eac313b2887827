#include "monitor/StatusDisplay.h"

#include "platform/Scheduler.h"

namespace brevant {

StatusDisplay::StatusDisplay(Scheduler& scheduler, QObject* parent)
    : QObject(parent)
    , m_timer4(scheduler.createTimer(1000, [this] { Timer4_Timer(); }))
    , m_timer5(scheduler.createTimer(1000, [this] { Timer5_Timer(); }))
    , m_timer6(scheduler.createTimer(1000, [this] { Timer6_Timer(); }))
    , m_timer7(scheduler.createTimer(200, [this] { Timer7_Timer(); }))
{
    // The page is laid out showing the resting mains pipe; everything else starts hidden.
    m_visible[Image1] = true;
    m_visible[ImageAC1] = true;
}

StatusDisplay::~StatusDisplay() = default;

QString StatusDisplay::colorName(quint32 rgb)
{
    return u'#' + QStringLiteral("%1").arg(rgb, 6, 16, QLatin1Char('0')).toUpper();
}

void StatusDisplay::setVisible(Element element, bool visible)
{
    if (m_visible[element] == visible)
        return;
    m_visible[element] = visible;
    emit elementChanged(element, visible);
}

void StatusDisplay::setMessage(const QString& text, quint32 color)
{
    if (m_message == text && m_messageColor == color)
        return;
    m_message = text;
    m_messageColor = color;
    emit messageChanged(m_message, m_messageColor);
}

void StatusDisplay::setMessageText(const QString& text)
{
    setMessage(text, m_messageColor);
}

void StatusDisplay::setShutdownEnabled(bool enabled)
{
    if (m_shutdownEnabled == enabled)
        return;
    m_shutdownEnabled = enabled;
    emit shutdownEnabledChanged(enabled);
}

bool StatusDisplay::isRunning(AnimationTimer timer) const
{
    switch (timer) {
    case Timer4:
        return m_timer4->isActive();
    case Timer5:
        return m_timer5->isActive();
    case Timer6:
        return m_timer6->isActive();
    case Timer7:
        break;
    }
    return m_timer7->isActive();
}

void StatusDisplay::AcPipeDisplay(bool usbLinkMode, bool usbConnected)
{
    m_timer5->stop();
    m_timer6->stop();
    setVisible(Image1, true);
    setVisible(ImageAC1, true);
    setVisible(ImageAC2, true);
    if (!usbLinkMode || usbConnected)
        m_timer4->start();
}

void StatusDisplay::AcPipeDisable()
{
    setVisible(Image1, false);
    m_timer4->stop();
    setVisible(ImageAC1, false);
    setVisible(ImageAC2, false);
}

void StatusDisplay::DcPipeDisplay()
{
    setVisible(Image1, false);
    m_timer6->stop();
    m_timer4->stop();
    setVisible(ImageDC1, true);
    setVisible(ImageDC2, true);
    m_timer5->start();
}

void StatusDisplay::DcPipeDisable()
{
    m_timer5->stop();
    setVisible(ImageDC1, false);
    setVisible(ImageDC2, false);
}

void StatusDisplay::LowPipeDisplay()
{
    setVisible(Image1, false);
    m_timer5->stop();
    m_timer4->stop();
    setVisible(ImageBL1, true);
    setVisible(ImageBL2, true);
    m_timer6->start();
}

void StatusDisplay::LowPipeDisable()
{
    m_timer6->stop();
    setVisible(ImageBL1, false);
    setVisible(ImageBL2, false);
}

void StatusDisplay::showDisconnected()
{
    for (Element e : {ImageBL1, ImageBL2, ImageDC1, ImageDC2, ImageAC2})
        setVisible(e, false);
    setVisible(ImageAC1, true);
    m_timer4->stop();
    m_timer5->stop();
    m_timer6->stop();
    setShutdownEnabled(false);
    setMessageText(QStringLiteral("UPS Disconnect"));
}

void StatusDisplay::Timer4_Timer()
{
    if (m_visible[ImageAC1]) {
        setVisible(ImageAC1, false);
        setVisible(ImageAC2, true);
        m_timer7->start();
    }
    if (!m_visible[ImageAC1] && m_flowCycles == 2) {
        m_flowCycles = 0;
        setVisible(ImageAC1, true);
        m_timer7->stop();
        setVisible(ImageAC2, false);
    }
}

void StatusDisplay::Timer5_Timer()
{
    swapPhases(ImageDC1, ImageDC2);
}

void StatusDisplay::Timer6_Timer()
{
    swapPhases(ImageBL1, ImageBL2);
}

void StatusDisplay::swapPhases(Element first, Element second)
{
    const bool firstShown = m_visible[first];
    setVisible(first, !firstShown);
    setVisible(second, firstShown);
}

void StatusDisplay::Timer7_Timer()
{
    // The list's sixth frame is set first and replaced within the same step; only the frame
    // chosen below is ever seen.
    if (m_flowFrame == 0) {
        ++m_flowCycles;
        if (m_flowCycles == 2)
            m_timer7->stop();
        m_flowFrame = 6;
    }
    if (m_flowFrame > 6)
        m_flowFrame = 1;
    setFlowPicture(m_flowFrame);
    --m_flowFrame;
}

void StatusDisplay::setFlowPicture(int picture)
{
    if (m_flowPicture == picture)
        return;
    m_flowPicture = picture;
    emit flowPictureChanged(picture);
}

} // namespace brevant
