#pragma once

#include <QObject>
#include <memory>

namespace brevant {

class ActiveLink;
class AlarmController;
class Countdown;
class RecordStore;
class Scheduler;
class Settings;
class StatusDisplay;
class Timer;
class UpsLink;
class TrayIcon;
enum class EventSection;

// What the poll tick saw happen, for the user's notifications and the program's log.
enum class PowerEvent
{
    PowerFailed,       // the UPS went on battery
    BatteryLow,        // the battery ran low
    PowerRestored,     // the mains came back after a failure
    BatteryLowCleared, // the battery is no longer low
    LinkLost,          // the USB UPS stopped answering
    LinkBack           // the USB UPS answers again
};

// The poll tick and the power-state machine. Every 2200 ms `Timer1` asks the chosen link for the
// UPS state and runs the on-line, on-battery and low-battery blocks over two latches; the ticks on
// which a latch changes run the event actions (tray icon, records, countdown).
class PowerMonitor : public QObject
{
    Q_OBJECT

public:
    static constexpr int PollIntervalMs = 2200;

    struct Parts
    {
        Scheduler& scheduler;
        Settings& settings;
        ActiveLink& links;
        StatusDisplay& display;
        Countdown& countdown;
        AlarmController& alarm;
        RecordStore& records;
        TrayIcon& tray;
    };

    explicit PowerMonitor(Parts parts, QObject* parent = nullptr);
    ~PowerMonitor() override;

    // Starts the poll timer; the first tick comes one interval later.
    void startPolling();
    void stopPolling();

    void Timer1_Timer();

    // The lost-link view: display, countdown text " " and the main tray picture.
    void UnConShow();

    bool upsOnBattFlag() const { return m_upsOnBattFlag; }
    bool upsLowBattFlag() const { return m_upsLowBattFlag; }
    bool lowBattLevel() const { return m_lowBattLevel; }
    bool usbLinkMode() const { return m_usbLinkMode; }

signals:
    // Raised when the event's actions run. A disabled battery-low event keeps its latch down, so
    // its actions, and this signal, repeat on every tick while the battery stays low.
    void powerEvent(brevant::PowerEvent event);
    // An event armed the shutdown countdown with this many seconds.
    void countdownArmed(qint32 seconds);

private:
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
    void armCountdown(EventSection section);
    void writeEventRecord(const QString& text);
    QString mainTrayTip() const;

    Parts m_parts;
    bool m_upsOnBattFlag = false;
    bool m_upsLowBattFlag = false;
    bool m_lowBattLevel = false;
    bool m_usbLinkMode = false;
    bool m_linkLost = false;
    UpsLink* m_tickLink = nullptr; // the link the running tick asks
    std::unique_ptr<Timer> m_timer1;
};

} // namespace brevant
