#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

namespace brevant {

class ActiveLink;
class Scheduler;
class Timer;
class UpsLink;

// The shutdown countdown: `ShutdownDelay` seconds, counted down once a second by `TimerSub`, shown
// in `LblAlarm`; when it has run out the alarm window is shown.
//
// The seconds follow the monotonic clock, not the count of firings: after a stall (the process
// stopped, a slow disk, a frozen session) the firing that ends it counts every second that went
// by, so the shutdown comes when it was due and not the length of the stall later.
class Countdown : public QObject
{
    Q_OBJECT

public:
    Countdown(Scheduler& scheduler, ActiveLink& links, QObject* parent = nullptr);
    ~Countdown() override;

    void setAlarmAction(std::function<void()> showAlarm) { m_showAlarm = std::move(showAlarm); }

    qint32 shutdownDelay() const { return m_shutdownDelay; }
    void setShutdownDelay(qint32 seconds) { m_shutdownDelay = seconds; }

    // Enables `TimerSub`; a running countdown keeps its phase.
    void start();
    void stop();
    bool isRunning() const;

    QString lblAlarm() const { return m_lblAlarm; }
    void setLblAlarm(const QString& text);

signals:
    void lblAlarmChanged(const QString& text);

private:
    void TimerSub_Timer();
    void step(const UpsLink& link);

    Scheduler& m_scheduler;
    ActiveLink& m_links;
    std::function<void()> m_showAlarm;
    qint32 m_shutdownDelay = 0;
    qint64 m_nextStepDue = 0; // on the scheduler's clock
    QString m_lblAlarm;
    std::unique_ptr<Timer> m_timerSub;
};

} // namespace brevant
