#pragma once

#include <QtGlobal>
#include <functional>
#include <memory>

namespace brevant {

// A periodic timer. It fires every interval after it was started; starting a running timer leaves
// its phase alone; stopping it cancels pending firings.
class Timer
{
public:
    virtual ~Timer() = default;
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
    virtual int interval() const = 0;
};

// How closely a timer must keep its interval. A coarse timer may fire a few percent early or
// late, which lets the system bundle its wake-up with others; pictures and hover need no more.
enum class TimerPrecision
{
    Precise,
    Coarse
};

// Creates the engine's timers and keeps its millisecond clock. The program runs on the Qt event
// loop; tests and the fire drill run on virtual time. There is no way to wait here: a wait is a
// timer and a step that runs when it fires, so nothing ever runs inside a nested event loop.
class Scheduler
{
public:
    virtual ~Scheduler() = default;
    virtual std::unique_ptr<Timer> createTimer(int intervalMs, std::function<void()> onTimeout,
                                               TimerPrecision precision) = 0;
    std::unique_ptr<Timer> createTimer(int intervalMs, std::function<void()> onTimeout)
    {
        return createTimer(intervalMs, std::move(onTimeout), TimerPrecision::Precise);
    }
    // Monotonic: it goes on while the process is stopped, so a countdown can catch up after a stall.
    virtual qint64 nowMs() const = 0;
};

} // namespace brevant
