#pragma once

#include "link/UpsLink.h"
#include "monitor/PowerStatus.h"

#include <QObject>
#include <memory>

namespace brevant {

class ActiveLink;
class AlarmController;
class Countdown;
class RecordStore;
class Scheduler;
class Settings;
class Timer;
enum class EventSection;

// The poll tick and the power-state machine. Every 2200 ms `Timer1` asks the chosen link for the
// UPS state and runs the on-line, on-battery and low-battery blocks over two latches; the ticks on
// which a latch changes run the event actions (records, countdown). It decides; the Status page
// model and the tray follow what it decides (statusShown, powerEvent).
class PowerMonitor : public QObject
{
    Q_OBJECT

public:
    static constexpr int PollIntervalMs = 2200;
    // A UPS last seen on battery that stays silent this long counts as a battery run low: the
    // shutdown starts (when the user wants one for either event). NUT's upsmon waits 15 s.
    static constexpr int SilentOnBatteryLimitMs = 30000;

    struct Parts
    {
        Scheduler& scheduler;
        Settings& settings;
        ActiveLink& links;
        Countdown& countdown;
        AlarmController& alarm;
        RecordStore& records;
    };

    explicit PowerMonitor(Parts parts, QObject* parent = nullptr);
    ~PowerMonitor() override;

    // Starts the poll timer; the first tick comes one interval later.
    void startPolling();
    void stopPolling();
    // While held the poll timer keeps its rhythm and its ticks do nothing: the UPS is not asked
    // between the UPS-off commands, and polling goes on in phase once the power-off is requested.
    void holdPolling(bool held) { m_held = held; }

    void Timer1_Timer();

    // The lost-link view: the Status page's and the countdown text " ".
    void UnConShow();

    bool upsOnBattFlag() const { return m_upsOnBattFlag; }
    bool upsLowBattFlag() const { return m_upsLowBattFlag; }
    bool lowBattLevel() const { return m_lowBattLevel; }
    bool usbLinkMode() const { return m_usbLinkMode; }

signals:
    // The state block of this tick ran: the Status page shows it, with what the UPS reported
    // besides its state.
    void statusShown(brevant::PowerStatus status, const brevant::UpsDetails& details);
    // Raised when the event's actions run, with the UPS's state read as they run. A disabled
    // battery-low event keeps its latch down, so its actions, and this signal, repeat on every
    // tick while the battery stays low.
    void powerEvent(brevant::PowerEvent event, brevant::UpsState state, const brevant::UpsDetails& details);
    // An event armed the shutdown countdown with this many seconds.
    void countdownArmed(qint32 seconds);

private:
    // Battery low holds until the mains returns: a reading without it while still on battery does
    // not clear it, so a battery flickering at its threshold cannot restart the countdown forever.
    UpsState holdBatteryLow(UpsState state);
    void shutDownIfSilentOnBattery();
    // The UPS's server asks every computer to shut down now: the alarm window at once, once.
    void followForcedShutdown(bool requested);
    // The alarm window at once, whatever the countdown had left.
    void startShutdownNow();
    void onBatteryBlock();
    void onLineBlock();
    void lowBatteryBlock();
    void lowBatteryClearingCheck();

    void powerFailure();
    void batteryLow();
    void cancelSteps();
    void powerRestored();
    void batteryLowCleared();
    void listMaintenance();

    void report(PowerEvent event);
    void showStatus(PowerStatus status);
    UpsDetails tickDetails() const;
    void armCountdown(EventSection section);
    void writeEventRecord(const QString& text);

    Parts m_parts;
    bool m_upsOnBattFlag = false;
    bool m_upsLowBattFlag = false;
    bool m_lowBattLevel = false;
    bool m_usbLinkMode = false;
    bool m_linkLost = false;
    bool m_held = false;
    bool m_batteryLowHeld = false;
    bool m_lastSeenOnBattery = false;
    bool m_silentShutdownStarted = false;
    bool m_forcedShutdownStarted = false;
    qint64 m_silentSinceMs = 0;
    UpsLink* m_tickLink = nullptr; // the link the running tick asks
    std::unique_ptr<Timer> m_timer1;
};

} // namespace brevant
