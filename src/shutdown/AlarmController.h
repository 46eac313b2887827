#pragma once

#include <QObject>
#include <functional>
#include <memory>

namespace brevant {

class ActiveLink;
class Countdown;
class Scheduler;
class Timer;

// The alarm window's behaviour: a progress bar that fills in about four seconds and then starts
// the shutdown, Cancel, and the re-checks that bring the window back while the alarm lasts.
// The window itself only draws what this model says.
class AlarmController : public QObject
{
    Q_OBJECT

public:
    static constexpr int BarWidth = 415;
    static constexpr int BarStart = 4;
    static constexpr int ChunkStep = 10;

    AlarmController(Scheduler& scheduler, ActiveLink& links, Countdown& countdown, QObject* parent = nullptr);
    ~AlarmController() override;

    // The "Shutdown" button's action (`RequestShutdown` for the alarm window).
    void setShutdownAction(std::function<void()> action) { m_shutdownAction = std::move(action); }

    // Shows the window, loading it first when it is not loaded.
    void show();
    // Shows the window with its bar filling from empty, whatever state an earlier Cancel left it in.
    void showCounting();
    // Hides the window; it stays loaded.
    void hide();
    void unload();

    void pressShutdown();
    void pressCancel();

    bool isLoaded() const { return m_loaded; }
    // The bar is filling: the shutdown starts when it is full.
    bool isCounting() const;
    bool isVisible() const { return m_visible; }
    bool alarmFormShown() const { return m_alarmFormShown; }
    void setAlarmFormShown(bool shown) { m_alarmFormShown = shown; }
    qint16 barPos() const { return m_barPos; }

signals:
    void loaded();
    void shown();
    void hidden();
    void unloaded();
    // The bar was drawn empty (on load and on every restart).
    void barReset();
    // A chunk of the bar was drawn at x.
    void chunkDrawn(int x);

private:
    void load();
    void setVisible(bool visible);
    void RestartCountdown();
    void Timer1_Timer();
    void Timer2_Timer();
    void Timer3_Timer();
    bool batteryLow();
    bool onBattery();

    ActiveLink& m_links;
    Countdown& m_countdown;
    std::function<void()> m_shutdownAction;
    bool m_loaded = false;
    bool m_visible = false;
    bool m_alarmFormShown = false;
    qint16 m_barPos = BarStart;
    std::unique_ptr<Timer> m_timer1;
    std::unique_ptr<Timer> m_timer2;
    std::unique_ptr<Timer> m_timer3;
};

} // namespace brevant
