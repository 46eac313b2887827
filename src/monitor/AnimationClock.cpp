#include "monitor/AnimationClock.h"

#include "platform/Scheduler.h"

#include <algorithm>

namespace brevant {

struct AnimationClock::Entry
{
    int interval = 0;
    std::function<void()> onTimeout;
    std::unique_ptr<Timer> real;
    std::unique_ptr<Timer> aligner; // the first, shortened interval after a resume
    bool active = false;
    qint64 nextDue = 0;
    quint64 armedAs = 0;
};

AnimationClock::AnimationClock(Scheduler& scheduler)
    : m_scheduler(scheduler)
{}

AnimationClock::~AnimationClock() = default;

int AnimationClock::add(int intervalMs, std::function<void()> onTimeout)
{
    auto entry = std::make_unique<Entry>();
    Entry* timer = entry.get();
    timer->interval = intervalMs;
    timer->onTimeout = std::move(onTimeout);
    // Pictures need no precision: the system may bundle their wake-ups with others.
    timer->real = m_scheduler.createTimer(
        intervalMs, [this, timer] { fire(*timer); }, TimerPrecision::Coarse);
    m_timers.push_back(std::move(entry));
    return int(m_timers.size()) - 1;
}

void AnimationClock::start(int id)
{
    Entry& timer = *m_timers[size_t(id)];
    if (timer.active)
        return;
    timer.active = true;
    arm(timer, now() + timer.interval);
    if (!m_paused)
        timer.real->start();
}

void AnimationClock::stop(int id)
{
    Entry& timer = *m_timers[size_t(id)];
    timer.active = false;
    timer.real->stop();
    if (timer.aligner)
        timer.aligner->stop();
}

bool AnimationClock::isActive(int id) const
{
    return m_timers[size_t(id)]->active;
}

void AnimationClock::pause()
{
    if (m_paused)
        return;
    m_paused = true;
    for (const auto& timer : m_timers) {
        timer->real->stop();
        if (timer->aligner)
            timer->aligner->stop();
    }
}

void AnimationClock::resume()
{
    if (!m_paused)
        return;
    catchUp(Due::UpToNow);
    m_paused = false;
    std::vector<Entry*> running;
    for (const auto& timer : m_timers) {
        if (timer->active)
            running.push_back(timer.get());
    }
    // Armed again in their old order, so that timers due together keep firing in it.
    std::sort(running.begin(), running.end(), [](Entry* a, Entry* b) { return a->armedAs < b->armedAs; });
    for (Entry* timer : running) {
        const qint64 wait = timer->nextDue - m_scheduler.nowMs();
        if (wait >= timer->interval) {
            timer->real->start();
            continue;
        }
        // The first firing comes after the rest of the interval, then the timer's own rhythm.
        timer->aligner = m_scheduler.createTimer(
            int(std::max<qint64>(wait, 1)),
            [this, timer] {
                timer->aligner->stop();
                timer->real->start();
                fire(*timer);
            },
            TimerPrecision::Coarse);
        timer->aligner->start();
    }
}

void AnimationClock::catchUp(Due due)
{
    if (!m_paused || m_replayTime)
        return;
    const qint64 until = m_scheduler.nowMs();
    for (;;) {
        Entry* next = nullptr;
        for (const auto& timer : m_timers) {
            if (timer->active && (!next || std::pair(timer->nextDue, timer->armedAs) <
                                               std::pair(next->nextDue, next->armedAs)))
                next = timer.get();
        }
        if (!next || next->nextDue > until || (due == Due::BeforeNow && next->nextDue == until))
            break;
        m_replayTime = next->nextDue;
        fire(*next);
    }
    m_replayTime.reset();
}

qint64 AnimationClock::now() const
{
    return m_replayTime.value_or(m_scheduler.nowMs());
}

void AnimationClock::arm(Entry& timer, qint64 due)
{
    timer.nextDue = due;
    timer.armedAs = m_armCounter++;
}

// Armed again before the step runs, so that a stop inside the step ends the timer and a start
// keeps its phase.
void AnimationClock::fire(Entry& timer)
{
    arm(timer, timer.nextDue + timer.interval);
    timer.onTimeout();
}

} // namespace brevant
