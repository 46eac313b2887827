#include "platform/sim/VirtualScheduler.h"

#include <algorithm>
#include <vector>

namespace brevant {

class VirtualScheduler::VirtualTimer final : public Timer
{
public:
    VirtualTimer(VirtualScheduler& owner, int intervalMs, std::function<void()> onTimeout)
        : m_owner(owner)
        , m_interval(std::max(intervalMs, 1))
        , m_onTimeout(std::move(onTimeout))
    {}
    ~VirtualTimer() override { stop(); }

    void start() override
    {
        if (!m_active)
            m_owner.arm(this, m_owner.m_now + m_interval);
    }
    void stop() override { m_owner.disarm(this); }
    bool isActive() const override { return m_active; }
    int interval() const override { return m_interval; }

    VirtualScheduler& m_owner;
    const int m_interval;
    std::function<void()> m_onTimeout;
    bool m_active = false;
    Key m_key{};
};

VirtualScheduler::VirtualScheduler() = default;

VirtualScheduler::~VirtualScheduler()
{
    for (auto& [key, timer] : m_queue)
        timer->m_active = false;
}

std::unique_ptr<Timer> VirtualScheduler::createTimer(int intervalMs, std::function<void()> onTimeout,
                                                     TimerPrecision)
{
    return std::make_unique<VirtualTimer>(*this, intervalMs, std::move(onTimeout));
}

void VirtualScheduler::arm(VirtualTimer* timer, qint64 due)
{
    timer->m_key = {due, m_armCounter++};
    timer->m_active = true;
    m_queue.emplace(timer->m_key, timer);
}

void VirtualScheduler::disarm(VirtualTimer* timer)
{
    if (!timer->m_active)
        return;
    m_queue.erase(timer->m_key);
    timer->m_active = false;
}

void VirtualScheduler::stall(qint64 ms)
{
    m_now += ms;
    std::vector<VirtualTimer*> overdue;
    for (auto it = m_queue.begin(); it != m_queue.end() && it->first.first < m_now; ++it)
        overdue.push_back(it->second);
    // In their old order, all due now.
    for (VirtualTimer* timer : overdue) {
        disarm(timer);
        arm(timer, m_now);
    }
    advanceTo(m_now);
}

void VirtualScheduler::advanceBy(qint64 ms)
{
    advanceTo(m_now + ms);
}

void VirtualScheduler::advanceTo(qint64 timeMs)
{
    while (!m_queue.empty() && m_queue.begin()->first.first <= timeMs) {
        VirtualTimer* timer = m_queue.begin()->second;
        const qint64 due = timer->m_key.first;
        m_queue.erase(m_queue.begin());
        timer->m_active = false;
        m_now = std::max(m_now, due);
        // Re-armed before the callback, so that a stop inside it cancels the next firing and a
        // start inside it keeps the phase.
        arm(timer, due + timer->m_interval);
        timer->m_onTimeout();
    }
    m_now = std::max(m_now, timeMs);
}

qint64 VirtualScheduler::nextDueMs() const
{
    return m_queue.empty() ? -1 : m_queue.begin()->first.first;
}

} // namespace brevant
