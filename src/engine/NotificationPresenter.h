#pragma once

#include "monitor/PowerMonitor.h"
#include "platform/DesktopNotifier.h"

#include <QObject>
#include <optional>

namespace brevant {

class Readiness;
class Settings;

// Tells the user of power events in desktop notifications, whether or not a window is up: mains
// failed, battery low, mains back, battery no longer low, UPS not answering and answering again,
// with the charge and runtime the UPS reports and the time left when the event armed the shutdown
// countdown. What one poll tick saw becomes
// one notification, shown only when it differs from the last one shown: a disabled battery-low
// event repeats its signals on every tick and is still told once. `[Desktop] Notifications` = 0
// turns them off.
class NotificationPresenter : public QObject
{
    Q_OBJECT
public:
    NotificationPresenter(PowerMonitor& monitor, const Settings& settings, DesktopNotifier& notifier,
                          QObject* parent = nullptr);

    // One notification when the computer turns to not protected, and one when it is again; a
    // first verdict that is "protected" is not worth a bubble.
    void followReadiness(Readiness& readiness);

private:
    // What one tick saw: its events in order, the countdown one of them armed, and the battery
    // as the UPS reported it. A changed battery alone is no news worth a second bubble.
    struct Tick
    {
        QList<PowerEvent> events;
        std::optional<qint32> countdownSeconds;
        QString battery; // "87 %, about 23 min left"
        bool operator==(const Tick& other) const
        {
            return events == other.events && countdownSeconds == other.countdownSeconds;
        }
    };

    void onPowerEvent(PowerEvent event, UpsState state, const UpsDetails& details);
    void onCountdownArmed(qint32 seconds);
    // Runs once control returns to the event loop, after every signal of the tick.
    void schedule();
    void showPending();
    bool enabled() const;
    static DesktopNotifier::Notification compose(const Tick& tick);

    const Settings& m_settings;
    DesktopNotifier& m_notifier;
    std::optional<Tick> m_pending;
    std::optional<Tick> m_lastShown;
    bool m_toldNotProtected = false;
};

} // namespace brevant
