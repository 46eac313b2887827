#include "shutdown/Countdown.h"

#include "config/Settings.h"
#include "link/UsbLink.h"
#include "platform/Scheduler.h"

#include <limits>

namespace brevant {

Countdown::Countdown(Scheduler& scheduler, const Settings& settings, const UsbLink& usb, QObject* parent)
    : QObject(parent)
    , m_settings(settings)
    , m_usb(usb)
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
    const bool serial = m_settings.link().serial;
    if (!serial && !m_usb.usbConnected())
        return; // paused while the USB link is lost

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
