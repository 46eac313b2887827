#include "NutStatusPipe.h"

#include "Log.h"
#include "NutConnection.h"

#include <cstdint>
#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace halvic {

namespace {

using std::chrono::milliseconds;
using std::chrono::nanoseconds;

// Slow enough that a request of a few hundred bytes, padded, spans a poll of a few seconds in
// one segment of any network's size.
constexpr uint32_t PacingBytesPerSecond = 250;
constexpr auto TimePerByte = nanoseconds(1'000'000'000 / PacingBytesPerSecond);
constexpr size_t MaxSegmentBytes = 1400;
// Unpaced segments a connection sends before Linux starts pacing it.
constexpr uint32_t SegmentsBeforePacing = 10;
// TCP_INFO counts in jiffies: a departure is where it was planned within this much.
constexpr milliseconds Tolerance{25};
constexpr int MissesBeforeGivingUp = 3;

// The gap Linux leaves after a segment of `bytes`: the segment's time at the pacing rate, less
// what the socket's idle time forgives (at most half).
Clock::duration kernelGap(size_t bytes, Clock::duration idle)
{
    const Clock::duration full = TimePerByte * static_cast<int64_t>(bytes);
    return full - std::min(full / 2, idle);
}

// The length whose gap is at most `gap` and as close as the pacing rate allows, after a socket idle
// for `idle`; empty when only a lower bound of the idle time is known and it does not settle the
// gap.
std::optional<size_t> bytesForGap(Clock::duration gap, Clock::duration idle, bool idleExact)
{
    if (gap <= Clock::duration::zero())
        return std::nullopt;
    if (idle >= gap)
        return static_cast<size_t>((2 * gap) / TimePerByte);
    if (!idleExact)
        return std::nullopt;
    return static_cast<size_t>((gap + idle) / TimePerByte);
}

std::optional<tcp_info> tcpInfo(int fd)
{
    tcp_info info{};
    socklen_t length = sizeof info;
    if (::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &length) != 0)
        return std::nullopt;
    return info;
}

std::unique_ptr<LineSocket> warmedUpSocket(const NutTarget& target, const std::vector<std::string>& requests,
                                           const Interrupt& interrupt)
{
    auto socket =
        LineSocket::connect(target.host, target.port, Clock::now() + NutConnection::ReplyTimeout, interrupt);
    if (!socket)
        return nullptr;
    const int on = 1;
    if (::setsockopt(socket->descriptor(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) != 0)
        return nullptr;
    // One segment per request, each answered before the next.
    for (uint32_t sent = 0; sent < SegmentsBeforePacing; ++sent) {
        const Deadline deadline = Clock::now() + NutConnection::ReplyTimeout;
        if (!socket->sendLine(requests[sent % requests.size()], deadline) || !socket->readLine(deadline))
            return nullptr;
    }
    const auto info = tcpInfo(socket->descriptor());
    if (!info || info->tcpi_data_segs_out < SegmentsBeforePacing)
        return nullptr;
    const uint32_t rate = PacingBytesPerSecond;
    if (::setsockopt(socket->descriptor(), SOL_SOCKET, SO_MAX_PACING_RATE, &rate, sizeof rate) != 0)
        return nullptr;
    return socket;
}

} // namespace

std::unique_ptr<NutStatusPipe> NutStatusPipe::open(const NutTarget& target,
                                                   const std::vector<std::string>& requests,
                                                   const Interrupt& interrupt)
{
    if (requests.empty())
        return nullptr;
    auto socket = warmedUpSocket(target, requests, interrupt);
    if (!socket) {
        logOnce("nut", "no second connection to upsd whose status requests the kernel times; each poll "
                       "asks upsd and waits for its answer");
        return nullptr;
    }
    return std::unique_ptr<NutStatusPipe>(
        new NutStatusPipe(std::move(socket), joinedNutLines(requests), requests.size()));
}

NutStatusPipe::NutStatusPipe(std::unique_ptr<LineSocket> socket, std::string request, size_t answers)
    : m_socket(std::move(socket))
    , m_request(std::move(request))
    , m_answerCount(answers)
    // The warm-up's segments left before now, unpaced.
    , m_nextDeparture(Clock::now())
{}

std::optional<std::vector<std::string>> NutStatusPipe::take(Clock::duration maxAge)
{
    std::optional<Sent> latest;
    std::vector<std::string> answers;
    drain(latest, answers);
    if (m_broken || !latest || !m_sent.empty())
        return std::nullopt;
    const auto since = sinceLastSent();
    if (!since) {
        m_broken = true;
        return std::nullopt;
    }
    const Deadline now = Clock::now();
    const Deadline departed = now - *since;
    if (departed < latest->departure - Tolerance || departed > latest->departure + Tolerance)
        miss(departed, latest->longestGap);
    else
        m_misses = 0;
    if (now - departed > maxAge)
        return std::nullopt;
    return answers;
}

void NutStatusPipe::prefetch(Deadline departAt, Clock::duration rhythm)
{
    if (m_broken || !m_sent.empty())
        return;
    const Deadline now = Clock::now();
    // When a segment handed over now leaves, and how long the socket will have been idle then.
    Deadline leaves = now;
    Clock::duration idle = Clock::duration::zero();
    bool idleExact = m_nextDepartureExact;
    if (m_nextDeparture > now) {
        if (!m_nextDepartureExact)
            return;
        leaves = m_nextDeparture;
    } else {
        idle = now - m_nextDeparture;
    }
    if (leaves > departAt + Tolerance)
        return;
    std::vector<Sent> plan;
    std::vector<std::pair<const std::string*, size_t>> segments;
    static const std::string setter = "VER";
    if (leaves < departAt - Tolerance) {
        const auto bytes = bytesForGap(departAt - leaves, idle, idleExact);
        if (!bytes || *bytes < setter.size() + 1 || *bytes > MaxSegmentBytes)
            return;
        const Clock::duration gap = kernelGap(*bytes, idle);
        plan.push_back({1, leaves, gap, TimePerByte * static_cast<int64_t>(*bytes), false});
        segments.emplace_back(&setter, *bytes);
        leaves += gap;
        idle = Clock::duration::zero();
        idleExact = true;
    }
    const auto bytes = bytesForGap(departAt + rhythm - leaves, idle, idleExact);
    if (!bytes || *bytes < m_request.size() + 1 || *bytes > MaxSegmentBytes)
        return;
    plan.push_back(
        {m_answerCount, leaves, kernelGap(*bytes, idle), TimePerByte * static_cast<int64_t>(*bytes), true});
    segments.emplace_back(&m_request, *bytes);
    for (size_t i = 0; i < segments.size(); ++i) {
        if (!sendPadded(*segments[i].first, segments[i].second)) {
            m_broken = true;
            return;
        }
        m_sent.push_back(plan[i]);
    }
    m_nextDeparture = plan.back().departure + plan.back().gap;
    m_nextDepartureExact = idleExact;
}

std::optional<Clock::duration> NutStatusPipe::sinceLastSent() const
{
    const auto info = tcpInfo(m_socket->descriptor());
    if (!info)
        return std::nullopt;
    return milliseconds(info->tcpi_last_data_sent);
}

void NutStatusPipe::drain(std::optional<Sent>& latest, std::vector<std::string>& latestAnswers)
{
    // Every line belongs to a request: a server that says more is not followed further.
    for (size_t lines = 0; lines <= 2 * (m_answerCount + 1) && !m_broken; ++lines) {
        std::string line;
        const Progress read = m_socket->readLine(line, Deadline::min(), Clock::now());
        if (read == Progress::Pending)
            return;
        if (read == Progress::Failed || m_sent.empty()) {
            m_broken = true;
            return;
        }
        m_answers.push_back(std::move(line));
        if (m_answers.size() == m_sent.front().answers) {
            if (m_sent.front().status) {
                latest = m_sent.front();
                latestAnswers = std::move(m_answers);
            }
            m_answers.clear();
            m_sent.pop_front();
        }
    }
}

void NutStatusPipe::miss(Deadline departed, Clock::duration longestGap)
{
    m_nextDeparture = std::max(m_nextDeparture, departed + longestGap);
    m_nextDepartureExact = false;
    if (++m_misses < MissesBeforeGivingUp)
        return;
    logOnce("nut", "the kernel does not send the status requests when planned; each poll asks upsd and "
                   "waits for its answer");
    m_broken = true;
}

bool NutStatusPipe::sendPadded(const std::string& line, size_t length)
{
    std::string padded = line;
    // The line end comes with the line.
    padded.resize(length - 1, ' ');
    return m_socket->sendLine(padded, Clock::now());
}

} // namespace halvic
