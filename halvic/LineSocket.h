#pragma once

#include "Wait.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace halvic {

// A TCP connection that exchanges text lines, every wait bounded by the caller's deadline and the
// worker's interrupt, and every line bounded in length: a server can neither hold the worker past
// its deadline nor make it store more than one line. Any failure leaves the socket useless.
class LineSocket
{
public:
    // A NUT line is at most 512 bytes with its line end.
    static constexpr size_t MaxLineBytes = 512;

    static std::unique_ptr<LineSocket> connect(const std::string& host, uint16_t port, Deadline deadline,
                                               const Interrupt& interrupt);
    ~LineSocket();
    LineSocket(const LineSocket&) = delete;
    LineSocket& operator=(const LineSocket&) = delete;

    int descriptor() const { return m_fd; }
    bool sendLine(std::string_view line, Deadline deadline);
    // The next line without its line end; empty on time-out, end of stream or an over-long line.
    std::optional<std::string> readLine(Deadline deadline);
    // The same in steps: until spinUntil it reads without sleeping (a thread that must not wait
    // long costs no wakeup for a quick answer), then it waits until the deadline. A passed
    // deadline is Pending and leaves the socket usable: the next call goes on with the same line.
    Progress readLine(std::string& line, Deadline spinUntil, Deadline deadline);

private:
    LineSocket(int fd, const Interrupt& interrupt);

    int m_fd;
    const Interrupt& m_interrupt;
    std::string m_pending;
};

} // namespace halvic
