#pragma once

#include <atomic>
#include <chrono>

namespace halvic {

using Clock = std::chrono::steady_clock;
using Deadline = Clock::time_point;

// Ends the waits of a worker thread early: raised once, when the worker is to stop.
class Interrupt
{
public:
    Interrupt();
    ~Interrupt();
    Interrupt(const Interrupt&) = delete;
    Interrupt& operator=(const Interrupt&) = delete;

    void raise();
    bool isRaised() const { return m_raised; }
    int fd() const { return m_fd; }

private:
    int m_fd;
    std::atomic<bool> m_raised{false};
};

// How far a piece of work that may be taken up again has come: Pending leaves it as it was, to
// be continued.
enum class Progress
{
    Done,
    Pending,
    Failed
};

enum class WaitResult
{
    Ready,
    TimedOut,
    Interrupted,
    Failed
};

// Waits until fd is ready for the poll events, the deadline passes or the interrupt is raised.
WaitResult waitFor(int fd, short events, Deadline deadline, const Interrupt& interrupt);

} // namespace halvic
