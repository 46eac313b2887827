#pragma once

#include "config/AppPaths.h"
#include "platform/Adapters.h"

#include <QObject>
#include <QString>
#include <memory>
#include <optional>

namespace brevant {

class ActiveLink;
class AlarmController;
class Confirmation;
class Countdown;
class PowerMonitor;
class Readiness;
class RecordStore;
class SaveListController;
class Scheduler;
class SerialLink;
class Settings;
class ShutdownSequence;
class StatusDisplay;
class SystemShutdown;
class Timer;
class TrayPresenter;
class UsbLink;
class WindowsModel;

// The whole monitor without its windows: links, power-state machine, countdown, status model,
// alarm and shutdown logic, record store, and the start-up and exit sequences that tie them.
// The desktop program draws these models; the fire drill runs them on virtual time.
class MonitorEngine : public QObject
{
    Q_OBJECT

public:
    MonitorEngine(const AppPaths& paths, Adapters adapters, QObject* parent = nullptr);
    ~MonitorEngine() override;

    // End of the splash: the save-list window when `[Schema] SaveList` asks for it, then the main
    // window's load, hidden.
    void finishSplash();
    // The main window's load: the poll timer starts, then the link, records, tray icon and the
    // first status display. A failing step is skipped and the next one runs.
    void loadMainWindow();
    // "Am I protected?": the readiness check of the whole shutdown path, from now on every 10
    // minutes, after a port Apply and a settings Apply, and when the UPS stops or starts
    // answering. The desktop program runs it; the fire drill does not (it would judge the
    // simulated machine).
    void startReadiness();
    // After a settings Apply: the verdict may have changed.
    void recheckReadiness();
    // The main window's unload: "Program quit", link closed, alarm window unloaded, tray icon removed.
    void exit();
    // Tells the program log that this start wrote the first-install settings.
    void recordFirstStart();
    // The OS Event Log page's Apply, once it has written the settings: the link the settings now
    // name is taken into use at once (the other one closed), and the countdown's length is
    // reloaded from the delay of the current battery level without touching the timer.
    void applyLinkChoice();
    // The user's or the system's request to end (close image, SIGTERM, a logout): the exit runs
    // now, unless a shutdown is under way. Then the shutdown is carried out first: an alarm that is
    // counting starts it at once, a hand-over to close.exe is waited for at most
    // ExitHandOverWaitMs, and the exit follows the power-off request (or the system's refusal).
    // exited() tells when it has run.
    void requestExit();
    static constexpr int ExitHandOverWaitMs = 5000;

    const AppPaths& paths() const { return m_paths; }
    Settings& settings() { return *m_settings; }
    ActiveLink& links() { return *m_links; }
    UsbLink& usb() { return *m_usb; }
    SerialLink& serial() { return *m_serial; }
    RecordStore& records() { return *m_records; }
    StatusDisplay& display() { return *m_display; }
    Countdown& countdown() { return *m_countdown; }
    AlarmController& alarm() { return *m_alarm; }
    PowerMonitor& monitor() { return *m_monitor; }
    ShutdownSequence& shutdown() { return *m_shutdown; }
    SystemShutdown& systemShutdown() { return *m_systemShutdown; }
    Confirmation& confirmation() { return *m_confirmation; }
    WindowsModel& windows() { return *m_windows; }
    SaveListController& saveList() { return *m_saveList; }
    Readiness& readiness() { return *m_readiness; }
    // The message boxes of the pages and windows.
    MessageBoxPresenter& messages() { return m_adapters.messages; }

signals:
    void exited();

private:
    void openRecords();
    bool shutdownUnderWay() const;
    void exitOnceTheShutdownAllows();

    AppPaths m_paths;
    Adapters m_adapters;
    std::unique_ptr<Settings> m_settings;
    std::unique_ptr<UsbLink> m_usb;
    std::unique_ptr<SerialLink> m_serial;
    std::unique_ptr<ActiveLink> m_links;
    std::unique_ptr<RecordStore> m_records;
    std::unique_ptr<WindowsModel> m_windows;
    std::unique_ptr<StatusDisplay> m_display;
    std::unique_ptr<Countdown> m_countdown;
    std::unique_ptr<AlarmController> m_alarm;
    std::unique_ptr<SystemShutdown> m_systemShutdown;
    std::unique_ptr<ShutdownSequence> m_shutdown;
    std::unique_ptr<Confirmation> m_confirmation;
    std::unique_ptr<PowerMonitor> m_monitor;
    std::unique_ptr<TrayPresenter> m_tray;
    std::unique_ptr<SaveListController> m_saveList;
    std::unique_ptr<Readiness> m_readiness;
    bool m_recordsOpen = false;
    bool m_exitPending = false;
    bool m_readinessStarted = false;
    // The library's last "cannot switch the UPS off", with its reason.
    std::optional<QString> m_upsOffRefusal;
    std::unique_ptr<Timer> m_exitHandOverWait;
};

} // namespace brevant
