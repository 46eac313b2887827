#pragma once

#include "base/Result.h"

#include <QObject>
#include <QString>
#include <memory>

namespace brevant {

class ActiveLink;
class MessageBoxPresenter;
class RecordStore;
class Scheduler;
class SystemPowerOff;
class Timer;

// The last step of every shutdown: the UPS is told to switch off and the system to power off.
//
// The system is asked first whether it will power off, and the UPS is switched off only when it
// will: a UPS told to switch off while the system refuses to go down would cut the power of a
// running system. A refusal (no permission, an inhibitor, no answer) is shown to the user,
// recorded in the program log and logged, once per reason, and the power-off is asked for again
// every RetryIntervalMs, for as long as the program runs.
//
// Every wait is a timer: the UPS-off commands go out one per firing, and between them only what
// the event loop has anyway can run (pictures, windows, an exit request, which waits for the
// power-off request). The poll tick is stopped as the UPS-off starts (upsOffStarted): a UPS told
// to switch off is no longer watched.
class SystemShutdown : public QObject
{
    Q_OBJECT

public:
    static constexpr int RetryIntervalMs = 10000;
    // A primary computer of a shared UPS switches it off only once the other computers have shut
    // down (NUT's HOSTSYNC, 15 s by default): its UPS-off is asked again this often while it says
    // "under way", at most UpsOffWaitLimitMs; then the power-off goes ahead all the same.
    static constexpr int UpsOffAskAgainMs = 500;
    static constexpr int UpsOffWaitLimitMs = 60000;

    struct Parts
    {
        Scheduler& scheduler;
        ActiveLink& links;
        SystemPowerOff& powerOff;
        RecordStore& records;
        MessageBoxPresenter& messages;
    };

    explicit SystemShutdown(Parts parts, QObject* parent = nullptr);
    ~SystemShutdown() override;

    // Starts the step; a step already under way goes on instead.
    void start();
    // Started and not yet accepted by the system (asking, retrying, or switching off).
    bool isPending() const { return m_pending; }
    // From the question "will the system power off?" to the power-off request, or the refusal:
    // the part no exit may cut short.
    bool isAttempting() const { return m_attempting; }

signals:
    void upsOffStarted();
    // The power-off was requested, or refused and will be asked for again.
    void attemptEnded();

private:
    void askPermission();
    void permissionAnswered(const Status& permission);
    void startUpsOff();
    void sendNextUpsOffCommand();
    void askUpsOffAgain();
    void requestPowerOff();
    void powerOffAnswered(const Status& request);
    void refused(const QString& reason);

    Parts m_parts;
    bool m_pending = false;
    bool m_attempting = false;
    bool m_upsSwitchedOff = false;
    int m_upsOffCommandsLeft = 0;
    qint64 m_upsOffWaitEndsMs = 0;
    QString m_lastReason;
    std::unique_ptr<Timer> m_retry;
    std::unique_ptr<Timer> m_nextUpsOffCommand;
    std::unique_ptr<Timer> m_upsOffAskAgain;
};

} // namespace brevant
