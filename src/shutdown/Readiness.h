#pragma once

#include "platform/SystemPowerOff.h"

#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

namespace brevant {

class RecordStore;
class Scheduler;
class Settings;
class Timer;

// "Am I protected?": the verdict of the readiness check.
struct ReadinessVerdict
{
    bool isProtected = false;
    // "Protected — shutdown 1 min after battery low", or "Not protected: <reason>. <What to do>".
    QString text;

    bool operator==(const ReadinessVerdict&) const = default;
};

// Checks, without doing anything irreversible, that an outage would end in a clean shutdown: the
// settings file gives settings, every check added answers ready, and a shutdown is set in the
// settings, asked in that order. The first that does not gives the reason; checks are asked one
// after the other, in the order added, each answering at once or later from the event loop
// (every check must answer).
//
// Runs at start(), every RecheckIntervalMs, and on recheck() (after a port Apply, a settings
// change, or when the user asks). Each change of the verdict is signalled and written once to
// the program log; the first verdict is written only when it is "not protected".
class Readiness : public QObject
{
    Q_OBJECT

public:
    static constexpr int RecheckIntervalMs = 10 * 60 * 1000;

    // Any check answers the way the power-off does: ready, or why not and what to do.
    using Finding = PowerOffReadiness;
    using Check = std::function<void(std::function<void(Finding)>)>;

    Readiness(Scheduler& scheduler, const Settings& settings, RecordStore& records,
              QObject* parent = nullptr);
    ~Readiness() override;

    void addCheck(Check check);
    void start();
    // A check under way finishes first; then all checks run again.
    void recheck();

    bool known() const { return m_known; }
    const ReadinessVerdict& verdict() const { return m_verdict; }

signals:
    void verdictChanged(const brevant::ReadinessVerdict& verdict);

private:
    void runFrom(qsizetype index);
    void conclude(const Finding& finding);
    Finding settingsReadable() const;
    Finding shutdownSet(QString& protectedText) const;

    const Settings& m_settings;
    RecordStore& m_records;
    std::unique_ptr<Timer> m_timer;
    QList<Check> m_checks;
    bool m_running = false;
    bool m_again = false;
    bool m_known = false;
    QString m_protectedText;
    ReadinessVerdict m_verdict;
};

} // namespace brevant
