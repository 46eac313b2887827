#include "monitor/StatusDisplay.h"

#include "monitor/AnimationClock.h"

namespace brevant {

StatusDisplay::StatusDisplay(Scheduler& scheduler, QObject* parent)
    : QObject(parent)
    , m_clock(std::make_unique<AnimationClock>(scheduler))
    , m_timer4(m_clock->add(1000, [this] { Timer4_Timer(); }))
    , m_timer5(m_clock->add(1000, [this] { Timer5_Timer(); }))
    , m_timer6(m_clock->add(1000, [this] { Timer6_Timer(); }))
    , m_timer7(m_clock->add(200, [this] { Timer7_Timer(); }))
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
    m_clock->catchUp(AnimationClock::Due::BeforeNow);
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

void StatusDisplay::pauseAnimation()
{
    m_clock->pause();
}

void StatusDisplay::resumeAnimation()
{
    m_clock->resume();
}

bool StatusDisplay::isAnimationPaused() const
{
    return m_clock->isPaused();
}

bool StatusDisplay::isRunning(AnimationTimer timer) const
{
    switch (timer) {
    case Timer4:
        return m_clock->isActive(m_timer4);
    case Timer5:
        return m_clock->isActive(m_timer5);
    case Timer6:
        return m_clock->isActive(m_timer6);
    case Timer7:
        break;
    }
    return m_clock->isActive(m_timer7);
}

void StatusDisplay::show(PowerStatus status, const UpsDetails& details)
{
    if (details != m_details) {
        m_details = details;
        emit detailsChanged(m_details);
    }
    switch (status) {
    case PowerStatus::OnBattery:
        setVisible(ImaSLow, false);
        setVisible(ImaSOk, true);
        setVisible(ImaAlarm, true);
        DcPipeDisplay();
        LowPipeDisable();
        AcPipeDisable();
        setShutdownEnabled(true);
        setMessage(QStringLiteral("UPS is on Battery"), Orange);
        return;
    case PowerStatus::OnLine:
        setMessage(QStringLiteral("UPS is on-line"), Green);
        AcPipeDisplay();
        DcPipeDisable();
        LowPipeDisable();
        setVisible(ImaSLow, false);
        setVisible(ImaSOk, false);
        setVisible(ImaAlarm, false);
        setShutdownEnabled(false);
        return;
    case PowerStatus::LowBattery:
        setVisible(ImaSLow, true);
        setVisible(ImaSOk, false);
        setVisible(ImaAlarm, true);
        setShutdownEnabled(true);
        LowPipeDisplay();
        DcPipeDisable();
        AcPipeDisable();
        setMessage(QStringLiteral("UPS is Low Battery"), Red);
        return;
    case PowerStatus::NotAnswering:
        showDisconnected();
        setVisible(ImaSOk, false);
        setVisible(ImaSLow, false);
        return;
    case PowerStatus::ForcedShutdown:
        setMessage(QStringLiteral("Forced shutdown requested by the UPS server"), Red);
        setShutdownEnabled(true);
        return;
    }
}

void StatusDisplay::AcPipeDisplay()
{
    m_clock->catchUp(AnimationClock::Due::BeforeNow);
    m_clock->stop(m_timer5);
    m_clock->stop(m_timer6);
    setVisible(Image1, true);
    setVisible(ImageAC1, true);
    setVisible(ImageAC2, true);
    m_clock->start(m_timer4);
}

void StatusDisplay::AcPipeDisable()
{
    m_clock->catchUp(AnimationClock::Due::BeforeNow);
    setVisible(Image1, false);
    m_clock->stop(m_timer4);
    setVisible(ImageAC1, false);
    setVisible(ImageAC2, false);
}

void StatusDisplay::DcPipeDisplay()
{
    m_clock->catchUp(AnimationClock::Due::BeforeNow);
    setVisible(Image1, false);
    m_clock->stop(m_timer6);
    m_clock->stop(m_timer4);
    setVisible(ImageDC1, true);
    setVisible(ImageDC2, true);
    m_clock->start(m_timer5);
}

void StatusDisplay::DcPipeDisable()
{
    m_clock->catchUp(AnimationClock::Due::BeforeNow);
    m_clock->stop(m_timer5);
    setVisible(ImageDC1, false);
    setVisible(ImageDC2, false);
}

void StatusDisplay::LowPipeDisplay()
{
    m_clock->catchUp(AnimationClock::Due::BeforeNow);
    setVisible(Image1, false);
    m_clock->stop(m_timer5);
    m_clock->stop(m_timer4);
    setVisible(ImageBL1, true);
    setVisible(ImageBL2, true);
    m_clock->start(m_timer6);
}

void StatusDisplay::LowPipeDisable()
{
    m_clock->catchUp(AnimationClock::Due::BeforeNow);
    m_clock->stop(m_timer6);
    setVisible(ImageBL1, false);
    setVisible(ImageBL2, false);
}

void StatusDisplay::showDisconnected()
{
    m_clock->catchUp(AnimationClock::Due::BeforeNow);
    for (Element e : {ImageBL1, ImageBL2, ImageDC1, ImageDC2, ImageAC2})
        setVisible(e, false);
    setVisible(ImageAC1, true);
    m_clock->stop(m_timer4);
    m_clock->stop(m_timer5);
    m_clock->stop(m_timer6);
    setShutdownEnabled(false);
    setMessageText(QStringLiteral("UPS Disconnect"));
}

void StatusDisplay::Timer4_Timer()
{
    if (m_visible[ImageAC1]) {
        setVisible(ImageAC1, false);
        setVisible(ImageAC2, true);
        m_clock->start(m_timer7);
    }
    if (!m_visible[ImageAC1] && m_flowCycles == 2) {
        m_flowCycles = 0;
        setVisible(ImageAC1, true);
        m_clock->stop(m_timer7);
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
            m_clock->stop(m_timer7);
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
