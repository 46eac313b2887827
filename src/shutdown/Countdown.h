#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

namespace brevant {

class Scheduler;
class ActiveLink;
class Timer;

// The shutdown countdown: `ShutdownDelay` seconds, counted down once a second by `TimerSub`, shown
// in `LblAlarm`; when it has run out the alarm window is shown.
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

    ActiveLink& m_links;
    std::function<void()> m_showAlarm;
    qint32 m_shutdownDelay = 0;
    QString m_lblAlarm;
    std::unique_ptr<Timer> m_timerSub;
};

} // namespace brevant
