#pragma once

#include "platform/Scheduler.h"

#include <map>
#include <utility>

namespace brevant {

// Deterministic virtual time. Timers due at the same moment fire in the order they were armed.
class VirtualScheduler final : public Scheduler
{
public:
    VirtualScheduler();
    ~VirtualScheduler() override;

    using Scheduler::createTimer;
    // Virtual time is exact: every timer keeps its interval whatever its precision.
    std::unique_ptr<Timer> createTimer(int intervalMs, std::function<void()> onTimeout,
                                       TimerPrecision precision) override;
    qint64 nowMs() const override { return m_now; }

    // Advances virtual time, firing what falls due meanwhile.
    void advanceBy(qint64 ms);
    void advanceTo(qint64 timeMs);
    // The process stood still (stopped, swapped out, a long call): the clock moves on and nothing
    // fires meanwhile. As on the Qt event loop, every timer that fell due fires once when the
    // stall ends, then keeps its rhythm from that moment.
    void stall(qint64 ms);
    // Time of the next firing, or -1 when no timer is active.
    qint64 nextDueMs() const;

private:
    class VirtualTimer;
    using Key = std::pair<qint64, quint64>; // due time, arming order

    void arm(VirtualTimer* timer, qint64 due);
    void disarm(VirtualTimer* timer);

    qint64 m_now = 0;
    quint64 m_armCounter = 0;
    std::map<Key, VirtualTimer*> m_queue;
};

} // namespace brevant
