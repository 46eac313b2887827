#pragma once

#include <QObject>
#include <QString>
#include <memory>

namespace brevant {

class ActiveLink;
class ProcessStarter;
class RecordStore;
class Scheduler;
class Settings;
class SystemPowerOff;
class Timer;

// The last stage of every shutdown.
//
// `RequestShutdown` arms the watcher `Timer3` and either starts close.exe or writes the handshake
// `[Schema] ShutDown` = 1 itself; the watcher resets the handshake, switches the UPS off through
// the link in use and shuts the system down. The handshake lives in the settings file so that
// close.exe can give it once it has saved the user's work.
class ShutdownSequence : public QObject
{
    Q_OBJECT

public:
    struct Parts
    {
        Scheduler& scheduler;
        Settings& settings;
        ActiveLink& links;
        RecordStore& records;
        SystemPowerOff& powerOff;
        ProcessStarter& processStarter;
        QString closeProgram; // close.exe in the application directory
    };

    // The window whose Shutdown asked for it: it hides (alarm) or unloads (confirmation).
    enum class Origin
    {
        ConfirmationWindow,
        AlarmWindow
    };

    explicit ShutdownSequence(Parts parts, QObject* parent = nullptr);
    ~ShutdownSequence() override;

    void RequestShutdown(Origin origin);
    bool watcherArmed() const;

signals:
    // The windows go out of the way once the watcher is armed: the main window hides, and the
    // window that asked hides or unloads, before the settings are read.
    void windowsLeave(brevant::ShutdownSequence::Origin origin);

private:
    void Timer3_Timer();

    Parts m_parts;
    std::unique_ptr<Timer> m_timer3;
};

} // namespace brevant
