#pragma once

#include "LineSocket.h"
#include "NutProtocol.h"

#include <chrono>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace halvic {

// A second connection to upsd that only asks for the status, its requests sent by the kernel at
// the time the caller names: handed to the socket at one poll, a request leaves just before the
// next one, and its answers wait in the socket when that poll comes. No thread of the library
// wakes between polls, and the poll finds the answers without waiting.
//
// Linux paces a TCP socket that has a maximum pacing rate (SO_MAX_PACING_RATE): a segment of n
// bytes holds the next one back n / rate seconds, or by half of that when it left an idle socket
// (the kernel forgives the sender's late start). The pipe pads each request with blanks, which
// upsd ignores, to the length that gives the gap it wants; a request that would leave too early is
// preceded by a padded VER that sets the gap. Each departure is checked against the kernel's own
// account (TCP_INFO); after a few misses the pipe is given up and the caller asks on its main
// connection, as without it. The connection neither logs in nor sends credentials.
class NutStatusPipe
{
public:
    // Opens the connection and asks the requests one by one, over again up to ten: the kernel paces
    // a connection only once it has sent that many segments. Empty when the server or the kernel does not
    // serve.
    static std::unique_ptr<NutStatusPipe>
    open(const NutTarget& target, const std::vector<std::string>& requests, const Interrupt& interrupt);

    bool isBroken() const { return m_broken; }
    int socketDescriptor() const { return m_socket->descriptor(); }
    // The answers to the latest request when they are all in and it left at most maxAge ago, in
    // the order of the requests; never waits.
    std::optional<std::vector<std::string>> take(Clock::duration maxAge);
    // Hands the next request to the socket to leave at departAt, and sets the gap after it to
    // rhythm, where the request of the next call is to leave. Sends nothing while a request is on
    // its way or when the kernel's timing cannot be foreseen.
    void prefetch(Deadline departAt, Clock::duration rhythm);

private:
    struct Sent
    {
        size_t answers;
        Deadline departure;
        // The gap planned after it, and the longest the kernel could leave (with nothing forgiven).
        Clock::duration gap;
        Clock::duration longestGap;
        bool status;
    };

    NutStatusPipe(std::unique_ptr<LineSocket> socket, std::string request, size_t answers);

    std::optional<Clock::duration> sinceLastSent() const;
    void drain(std::optional<Sent>& latest, std::vector<std::string>& latestAnswers);
    void miss(Deadline departed, Clock::duration longestGap);
    bool sendPadded(const std::string& line, size_t length);

    std::unique_ptr<LineSocket> m_socket;
    std::string m_request;
    size_t m_answerCount;
    std::deque<Sent> m_sent;
    std::vector<std::string> m_answers;
    // The kernel's next departure time for this socket, as the pipe foresees it; when not exact,
    // a time it is surely not later than.
    Deadline m_nextDeparture;
    bool m_nextDepartureExact = false;
    int m_misses = 0;
    bool m_broken = false;
};

} // namespace halvic
