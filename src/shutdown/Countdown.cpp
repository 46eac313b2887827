#include "shutdown/Countdown.h"

#include "link/ActiveLink.h"
#include "platform/Scheduler.h"

#include <limits>

namespace brevant {

Countdown::Countdown(Scheduler& scheduler, ActiveLink& links, QObject* parent)
    : QObject(parent)
    , m_links(links)
    , m_timerSub(scheduler.createTimer(1000, [this] { TimerSub_Timer(); }))
{}

Countdown::~Countdown() = default;

void Countdown::start()
{
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
    const UpsLink& link = m_links.current();
    if (!link.answering())
        return; // paused while the USB link is lost
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
