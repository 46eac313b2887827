#pragma once

#include "platform/Scheduler.h"

#include <QElapsedTimer>

namespace brevant {

// Timers on the Qt event loop; the clock is monotonic.
class QtScheduler final : public Scheduler
{
public:
    QtScheduler();
    using Scheduler::createTimer;
    std::unique_ptr<Timer> createTimer(int intervalMs, std::function<void()> onTimeout,
                                       TimerPrecision precision) override;
    qint64 nowMs() const override;

private:
    QElapsedTimer m_clock;
};

} // namespace brevant
