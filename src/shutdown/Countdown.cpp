#include "shutdown/Countdown.h"

#include "link/ActiveLink.h"
#include "platform/Scheduler.h"

#include <algorithm>
#include <limits>

namespace brevant {

namespace {

constexpr int StepMs = 1000;

} // namespace

Countdown::Countdown(Scheduler& scheduler, ActiveLink& links, QObject* parent)
    : QObject(parent)
    , m_scheduler(scheduler)
    , m_links(links)
    , m_timerSub(scheduler.createTimer(StepMs, [this] { TimerSub_Timer(); }))
{}

Countdown::~Countdown() = default;

void Countdown::start()
{
    if (m_timerSub->isActive())
        return;
    m_nextStepDue = m_scheduler.nowMs() + StepMs;
    m_timerSub->start();
}

void Countdown::stop()
{
    m_timerSub->stop();
}

bool Countdown::isRunning() const
{
    return m_timerSub->isActive();
}

void Countdown::setLblAlarm(const QString& text)
{
    if (m_lblAlarm == text)
        return;
    m_lblAlarm = text;
    emit lblAlarmChanged(text);
}

void Countdown::TimerSub_Timer()
{
    // One step per second that went by: one on a punctual firing, all the missed ones after a stall.
    const qint64 steps = 1 + std::max<qint64>(0, (m_scheduler.nowMs() - m_nextStepDue) / StepMs);
    m_nextStepDue += steps * StepMs;
    const UpsLink& link = m_links.current();
    if (!link.answering())
        return; // paused while the USB link is lost
    for (qint64 i = 0; i < steps && m_timerSub->isActive(); ++i)
        step(link);
}

void Countdown::step(const UpsLink& link)
{
    const bool serial = link.kind() == UpsLink::Kind::Serial;

    // The serial text has one blank before "Seconds", the USB text two.
    const QString n = QString::number(m_shutdownDelay);
    setLblAlarm(serial ? QStringLiteral("System ShutDown After ") + n + QStringLiteral(" Seconds")
                       : QStringLiteral("System ShutDown After ") + n + QStringLiteral("  Seconds"));
    if (m_shutdownDelay > std::numeric_limits<qint32>::min())
        --m_shutdownDelay;

    // Serial shows D down to 0 and opens the alarm one step later; USB opens it on the step that showed 1.
    const bool runOut = serial ? m_shutdownDelay < 0 : m_shutdownDelay <= 0;
    if (runOut) {
        m_timerSub->stop();
        if (m_showAlarm)
            m_showAlarm();
    }
}

} // namespace brevant
