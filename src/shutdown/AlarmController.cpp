#include "shutdown/AlarmController.h"

#include "link/ActiveLink.h"
#include "platform/Scheduler.h"
#include "shutdown/Countdown.h"

namespace brevant {

AlarmController::AlarmController(Scheduler& scheduler, ActiveLink& links, Countdown& countdown,
                                 QObject* parent)
    : QObject(parent)
    , m_links(links)
    , m_countdown(countdown)
    , m_timer1(scheduler.createTimer(100, [this] { Timer1_Timer(); }))
    , m_timer2(scheduler.createTimer(5000, [this] { Timer2_Timer(); }))
    , m_timer3(scheduler.createTimer(2000, [this] { Timer3_Timer(); }))
{}

AlarmController::~AlarmController() = default;

void AlarmController::show()
{
    if (!m_loaded)
        load();
    setVisible(true);
}

void AlarmController::load()
{
    m_loaded = true;
    emit loaded();
    m_barPos = BarStart;
    emit barReset();
    m_countdown.setLblAlarm(QString());
    m_alarmFormShown = true;
    m_timer1->start();
}

void AlarmController::showCounting()
{
    if (m_loaded && !isCounting())
        unload();
    show();
}

bool AlarmController::isCounting() const
{
    return m_timer1->isActive();
}

void AlarmController::hide()
{
    setVisible(false);
}

void AlarmController::setVisible(bool visible)
{
    if (m_visible == visible)
        return;
    m_visible = visible;
    if (visible)
        emit shown();
    else
        emit hidden();
}

void AlarmController::unload()
{
    if (!m_loaded)
        return;
    // The window's timers end with it. `AlarmFormShown` is left for the poll to clear.
    m_timer1->stop();
    m_timer2->stop();
    m_timer3->stop();
    m_visible = false;
    m_loaded = false;
    emit unloaded();
}

void AlarmController::pressShutdown()
{
    // Once per alarm: the bar stops and the window unloads, so that the bar cannot run the action
    // a second time when it fills (a second close.exe while the first may still be saving). A
    // later alarm loads the window afresh.
    m_timer1->stop();
    if (m_shutdownAction)
        m_shutdownAction();
    unload();
}

void AlarmController::pressCancel()
{
    hide();
    m_timer1->stop();
    m_timer2->start();
    m_timer3->start();
}

void AlarmController::RestartCountdown()
{
    m_barPos = BarStart;
    emit barReset();
    setVisible(true);
    m_timer1->start();
}

void AlarmController::Timer1_Timer()
{
    emit chunkDrawn(m_barPos);
    m_barPos += ChunkStep;
    if (m_barPos > BarWidth - ChunkStep)
        pressShutdown();
}

void AlarmController::Timer2_Timer()
{
    // The five-second check waits as long as the battery is low.
    if (batteryLow())
        return;
    if (onBattery())
        RestartCountdown();
    m_timer2->stop();
}

void AlarmController::Timer3_Timer()
{
    if (batteryLow())
        RestartCountdown();
    m_timer3->stop();
}

// The five-second check asks "not False" and the two-second check "exactly True"; with bool
// flags the two tests are the same.
bool AlarmController::batteryLow()
{
    return m_links.current().state().batteryLow;
}

bool AlarmController::onBattery()
{
    return m_links.current().state().onBattery;
}

} // namespace brevant
