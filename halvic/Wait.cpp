#include "Wait.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace halvic {

// Without an eventfd the interrupt is only seen between waits, which the deadlines still bound.
Interrupt::Interrupt()
    : m_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{}

Interrupt::~Interrupt()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void Interrupt::raise()
{
    m_raised = true;
    const uint64_t one = 1;
    if (m_fd >= 0) [[maybe_unused]]
        const auto written = ::write(m_fd, &one, sizeof one);
}

WaitResult waitFor(int fd, short events, Deadline deadline, const Interrupt& interrupt)
{
    for (;;) {
        if (interrupt.isRaised())
            return WaitResult::Interrupted;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return WaitResult::TimedOut;
        std::array<pollfd, 2> fds{{{fd, events, 0}, {interrupt.fd(), POLLIN, 0}}};
        const int ready = ::poll(fds.data(), fds.size(), static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR)
            return WaitResult::Failed;
        if (ready > 0 && fds[1].revents != 0)
            return WaitResult::Interrupted;
        if (ready > 0 && fds[0].revents != 0)
            return WaitResult::Ready;
    }
}

} // namespace halvic
