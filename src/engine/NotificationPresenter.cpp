#include "engine/NotificationPresenter.h"

#include "config/Settings.h"
#include "config/ValueConversion.h"
#include "shutdown/Readiness.h"

#include <QMetaObject>
#include <algorithm>

namespace brevant {
namespace {

struct EventText
{
    PowerEvent event;
    const char* summary;
    const char* sentence;
};

// In order of importance: the summary of a tick is its most important event's.
constexpr EventText Texts[] = {
    {PowerEvent::ForcedShutdown, "Forced shutdown requested by the UPS server",
     "The server of the UPS asks every computer it powers to shut down now: the computer shuts down."},
    {PowerEvent::SilentOnBattery, "UPS silent on battery: shutting down",
     "The UPS stopped answering while on battery: the computer shuts down as if the battery were low."},
    {PowerEvent::BatteryLow, "UPS battery low", "The UPS battery is running low."},
    {PowerEvent::PowerFailed, "Mains power failed", "The mains power failed: the UPS runs on battery."},
    {PowerEvent::LinkLost, "UPS not answering",
     "The UPS does not answer over USB: power failures cannot be seen until it answers again."},
    {PowerEvent::PowerRestored, "Mains power back",
     "The mains power is back: the UPS runs on the mains again."},
    {PowerEvent::BatteryLowCleared, "UPS battery no longer low", "The UPS battery is no longer low."},
    {PowerEvent::LinkBack, "UPS answering again", "The UPS answers again."},
};

const EventText& textOf(PowerEvent event)
{
    return *std::find_if(std::begin(Texts), std::end(Texts),
                         [event](const EventText& t) { return t.event == event; });
}

QString count(qint32 n, const char* unit)
{
    return QStringLiteral("%1 %2%3").arg(n).arg(QLatin1StringView(unit),
                                                n == 1 ? QString() : QStringLiteral("s"));
}

// "45 seconds", "1 minute", "2 minutes 30 seconds".
QString duration(qint32 seconds)
{
    if (seconds < 60)
        return count(seconds, "second");
    const QString minutes = count(seconds / 60, "minute");
    return seconds % 60 == 0 ? minutes : minutes + u' ' + count(seconds % 60, "second");
}

} // namespace

NotificationPresenter::NotificationPresenter(PowerMonitor& monitor, const Settings& settings,
                                             DesktopNotifier& notifier, QObject* parent)
    : QObject(parent)
    , m_settings(settings)
    , m_notifier(notifier)
{
    connect(&monitor, &PowerMonitor::powerEvent, this, &NotificationPresenter::onPowerEvent);
    connect(&monitor, &PowerMonitor::countdownArmed, this, &NotificationPresenter::onCountdownArmed);
}

void NotificationPresenter::followReadiness(Readiness& readiness)
{
    connect(&readiness, &Readiness::verdictChanged, this, [this](const ReadinessVerdict& verdict) {
        if (verdict.isProtected == !m_toldNotProtected || !enabled())
            return;
        m_toldNotProtected = !verdict.isProtected;
        m_notifier.notify(
            {verdict.isProtected ? QStringLiteral("Protected again") : QStringLiteral("Not protected"),
             verdict.text,
             verdict.isProtected ? DesktopNotifier::Urgency::Normal : DesktopNotifier::Urgency::Critical});
    });
}

void NotificationPresenter::onPowerEvent(PowerEvent event, UpsState, const UpsDetails& details)
{
    schedule();
    m_pending->events.append(event);
    m_pending->battery = details.batteryText();
}

void NotificationPresenter::onCountdownArmed(qint32 seconds)
{
    schedule();
    m_pending->countdownSeconds = seconds;
}

void NotificationPresenter::schedule()
{
    if (m_pending)
        return;
    m_pending = Tick{};
    QMetaObject::invokeMethod(this, &NotificationPresenter::showPending, Qt::QueuedConnection);
}

bool NotificationPresenter::enabled() const
{
    return conversion::boolean(m_settings.read(key::DesktopNotifications)).value_or(true);
}

void NotificationPresenter::showPending()
{
    const Tick tick = *std::exchange(m_pending, std::nullopt);
    if (tick == m_lastShown || !enabled())
        return;
    m_lastShown = tick;
    m_notifier.notify(compose(tick));
}

DesktopNotifier::Notification NotificationPresenter::compose(const Tick& tick)
{
    DesktopNotifier::Notification n;
    QStringList sentences;
    const EventText* main = nullptr;
    for (const PowerEvent event : tick.events) {
        const EventText& text = textOf(event);
        sentences.append(QString::fromUtf8(text.sentence));
        if (!main || &text < main)
            main = &text;
    }
    n.summary = main ? QString::fromUtf8(main->summary) : QStringLiteral("Shutdown countdown started");
    if (!tick.battery.isEmpty())
        sentences.append(QStringLiteral("Battery: %1.").arg(tick.battery));
    if (tick.countdownSeconds) {
        sentences.append(QStringLiteral("The computer shuts down in %1 unless the mains returns.")
                             .arg(duration(*tick.countdownSeconds)));
    }
    n.body = sentences.join(u' ');
    const bool critical = tick.countdownSeconds || tick.events.contains(PowerEvent::BatteryLow);
    n.urgency = critical ? DesktopNotifier::Urgency::Critical : DesktopNotifier::Urgency::Normal;
    return n;
}

} // namespace brevant
