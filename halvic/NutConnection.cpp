#include "NutConnection.h"

#include <array>
#include <cstring>
#include <pthread.h>
#include <signal.h>
#include <sys/time.h>

namespace halvic {

namespace {

// libupsclient writes to the socket with plain write(); a server that has gone away would raise
// SIGPIPE and end the host program. Holds SIGPIPE blocked on this thread and swallows one that
// this scope caused.
class SigpipeGuard
{
public:
    SigpipeGuard()
    {
        sigemptyset(&m_pipe);
        sigaddset(&m_pipe, SIGPIPE);
        m_wasPending = isPending();
        pthread_sigmask(SIG_BLOCK, &m_pipe, &m_previousMask);
    }
    ~SigpipeGuard()
    {
        if (!m_wasPending && isPending()) {
            const timespec noWait{};
            sigtimedwait(&m_pipe, nullptr, &noWait);
        }
        pthread_sigmask(SIG_SETMASK, &m_previousMask, nullptr);
    }
    SigpipeGuard(const SigpipeGuard&) = delete;
    SigpipeGuard& operator=(const SigpipeGuard&) = delete;

private:
    static bool isPending()
    {
        sigset_t pending;
        sigpending(&pending);
        return sigismember(&pending, SIGPIPE) == 1;
    }

    sigset_t m_pipe{};
    sigset_t m_previousMask{};
    bool m_wasPending = false;
};

} // namespace

std::unique_ptr<NutConnection> NutConnection::open(const std::string& host, uint16_t port)
{
    std::unique_ptr<NutConnection> connection(new NutConnection);
    timeval timeout{.tv_sec = Timeout.count(), .tv_usec = 0};
    std::string hostName = host;
    const SigpipeGuard guard;
    if (upscli_tryconnect(&connection->m_connection, hostName.data(), port, 0, &timeout) != 0) {
        connection->m_broken = true;
        return nullptr;
    }
    return connection;
}

NutConnection::~NutConnection()
{
    const SigpipeGuard guard;
    upscli_disconnect(&m_connection);
}

std::optional<std::string> NutConnection::request(const std::string& line)
{
    if (!send(line))
        return std::nullopt;
    return receive();
}

std::optional<std::vector<std::string>> NutConnection::requestList(const std::string& line)
{
    const auto first = request(line);
    if (!first || !first->starts_with("BEGIN LIST ")) {
        m_broken = m_broken || !first;
        return std::nullopt;
    }
    std::vector<std::string> lines;
    while (const auto next = receive()) {
        if (next->starts_with("END LIST "))
            return lines;
        lines.push_back(*next);
    }
    return std::nullopt;
}

bool NutConnection::send(const std::string& line)
{
    if (m_broken)
        return false;
    const std::string terminated = line + '\n';
    const SigpipeGuard guard;
    m_broken =
        upscli_sendline_timeout(&m_connection, terminated.c_str(), terminated.size(), Timeout.count()) < 0;
    return !m_broken;
}

std::optional<std::string> NutConnection::receive()
{
    if (m_broken)
        return std::nullopt;
    std::array<char, UPSCLI_NETBUF_LEN> buffer{};
    const SigpipeGuard guard;
    if (upscli_readline_timeout(&m_connection, buffer.data(), buffer.size(), Timeout.count()) < 0) {
        m_broken = true;
        return std::nullopt;
    }
    std::string line(buffer.data(), strnlen(buffer.data(), buffer.size()));
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    return line;
}

} // namespace halvic
