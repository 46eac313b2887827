#pragma once

#include <QtGlobal>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace brevant {

class Scheduler;
class Timer;

// Timers for pictures that nobody needs to see drawn while they are out of sight. The group can
// pause, and then keeps its time on paper: each timer's next firing is kept, and the firings that
// fell due meanwhile run when asked (catchUp) or on resume, in the order the scheduler would have
// run them — by due time, then by the moment the timer was armed. So a model driven by these
// timers reads exactly as if they had run, and they go on in phase.
class AnimationClock
{
public:
    explicit AnimationClock(Scheduler& scheduler);
    ~AnimationClock();

    // A periodic timer of the group, by its index.
    int add(int intervalMs, std::function<void()> onTimeout);
    // Starting a running timer keeps its phase; stopping cancels its pending firings.
    void start(int id);
    void stop(int id);
    bool isActive(int id) const;

    void pause();
    void resume();
    bool isPaused() const { return m_paused; }

    enum class Due
    {
        BeforeNow, // for an operation from outside: what was armed before it, due now, has not run yet
        UpToNow,
    };
    // Runs what fell due while paused; nothing while running.
    void catchUp(Due due);

private:
    struct Entry;

    qint64 now() const;
    void arm(Entry& timer, qint64 due);
    void fire(Entry& timer);

    Scheduler& m_scheduler;
    std::vector<std::unique_ptr<Entry>> m_timers;
    bool m_paused = false;
    std::optional<qint64> m_replayTime;
    quint64 m_armCounter = 0;
};

} // namespace brevant
