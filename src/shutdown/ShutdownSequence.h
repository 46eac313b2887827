#pragma once

#include <QObject>
#include <QString>
#include <memory>

namespace brevant {

class ProcessStarter;
class RecordStore;
class Scheduler;
class Settings;
class SystemShutdown;
class Timer;

// The shutdown hand-over.
//
// `RequestShutdown` arms the watcher `Timer3` and either starts close.exe or writes the handshake
// `[Schema] ShutDown` = 1 itself; the watcher resets the handshake and starts the system shutdown
// (UPS off, power off). The handshake lives in the settings file so that close.exe can give it
// once it has saved the user's work.
//
// A shutdown the program decided on is never dropped: when the handshake cannot be written (a
// read-only directory, a full disk) the program shuts down without it, and says why in the log
// and the program log.
class ShutdownSequence : public QObject
{
    Q_OBJECT

public:
    struct Parts
    {
        Scheduler& scheduler;
        Settings& settings;
        RecordStore& records;
        ProcessStarter& processStarter;
        SystemShutdown& systemShutdown;
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
    // A shutdown was requested and waits for its hand-over (close.exe saving, or the watcher's
    // next look at the handshake); the system shutdown has not started yet.
    bool handOverAwaited() const { return m_handOverAwaited; }
    // The program is about to end and cannot wait for close.exe: the shutdown goes on without the
    // hand-over, and the program log says so.
    void proceedWithoutHandOver();

signals:
    // handOverAwaited() changed.
    void handOverAwaitedChanged(bool awaited);
    // The windows go out of the way once the watcher is armed: the main window hides, and the
    // window that asked hides or unloads, before the settings are read.
    void windowsLeave(brevant::ShutdownSequence::Origin origin);

private:
    void Timer3_Timer();
    void handOver();
    void shutDownWithoutHandOver(const QString& reason);
    void startSystemShutdown();
    void setHandOverAwaited(bool awaited);

    Parts m_parts;
    bool m_handOverAwaited = false;
    // The watcher could not reset a "1": it stays until the file says otherwise, and must not
    // start the shutdown again every 100 ms.
    bool m_handOverStuck = false;
    std::unique_ptr<Timer> m_timer3;
};

} // namespace brevant
