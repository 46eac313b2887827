#include "FakeNutServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <unistd.h>

namespace fakenut {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto DripInterval = std::chrono::milliseconds(900);
constexpr size_t StreamChunk = 4096;

std::vector<std::string> words(const std::string& line)
{
    std::vector<std::string> result;
    std::istringstream in(line);
    for (std::string word; in >> word;) {
        word.erase(std::remove(word.begin(), word.end(), '"'), word.end());
        result.push_back(word);
    }
    return result;
}

} // namespace

struct FakeNutServer::Client
{
    int fd = -1;
    std::string in;
    std::string out;
    std::string stream; // repeated for as long as the client reads it
    bool closeWhenSent = false;
    bool loggedIn = false;
    Clock::time_point nextDrip = Clock::now();
    Clock::time_point heldUntil = Clock::now();
};

FakeNutServer::FakeNutServer(Behaviour behaviour, FakeUps ups)
    : m_behaviour(behaviour)
    , m_ups(std::move(ups))
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (::pipe2(m_wake, O_CLOEXEC) != 0 || m_listener < 0 ||
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listener, 16) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (m_listener >= 0)
            ::close(m_listener);
        m_listener = -1; // not listening: no thread
        return;
    }
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { run(); });
}

FakeNutServer::~FakeNutServer()
{
    if (m_thread.joinable()) {
        const char stop = 's';
        [[maybe_unused]] const auto written = ::write(m_wake[1], &stop, 1);
        m_thread.join();
    }
    for (const int fd : {m_listener, m_wake[0], m_wake[1]}) {
        if (fd >= 0)
            ::close(fd);
    }
}

void FakeNutServer::setStatus(const std::string& status)
{
    const std::lock_guard lock(m_mutex);
    m_ups.status = status;
}

std::vector<std::string> FakeNutServer::requests() const
{
    const std::lock_guard lock(m_mutex);
    return m_requests;
}

std::vector<std::chrono::steady_clock::time_point> FakeNutServer::arrivals() const
{
    const std::lock_guard lock(m_mutex);
    return m_arrivals;
}

void FakeNutServer::run()
{
    std::vector<Client> clients;
    for (;;) {
        std::vector<pollfd> fds{{m_wake[0], POLLIN, 0}, {m_listener, POLLIN, 0}};
        for (const Client& client : clients) {
            const bool writable =
                !client.stream.empty() ||
                (!client.out.empty() && m_behaviour != Behaviour::Drip && Clock::now() >= client.heldUntil);
            fds.push_back({client.fd, static_cast<short>(POLLIN | (writable ? POLLOUT : 0)), 0});
        }
        if (::poll(fds.data(), fds.size(), 50) < 0)
            continue;
        if (fds[0].revents != 0)
            break;
        if (fds[1].revents & POLLIN) {
            const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (fd >= 0) {
                clients.emplace_back();
                clients.back().fd = fd;
            }
        }
        const bool drop = m_dropConnections.exchange(false);
        for (size_t i = 0; i < clients.size() && i + 2 < fds.size(); ++i) {
            Client& client = clients[i];
            bool alive = true;
            if (fds[i + 2].revents & (POLLIN | POLLHUP | POLLERR)) {
                char buffer[4096];
                const ssize_t received = ::recv(client.fd, buffer, sizeof buffer, MSG_DONTWAIT);
                alive = received > 0;
                if (alive)
                    client.in.append(buffer, static_cast<size_t>(received));
                for (size_t end; (end = client.in.find('\n')) != std::string::npos;) {
                    serveRequest(client, client.in.substr(0, end));
                    client.in.erase(0, end + 1);
                }
            }
            while (!client.stream.empty() && client.out.size() < StreamChunk)
                client.out += client.stream;
            size_t sendSize = client.out.size();
            if (m_behaviour == Behaviour::Drip)
                sendSize = Clock::now() >= client.nextDrip ? std::min<size_t>(sendSize, 1) : 0;
            if (Clock::now() < client.heldUntil)
                sendSize = 0;
            if (alive && sendSize > 0) {
                const ssize_t sent =
                    ::send(client.fd, client.out.data(), sendSize, MSG_DONTWAIT | MSG_NOSIGNAL);
                if (sent > 0) {
                    client.out.erase(0, static_cast<size_t>(sent));
                    m_bytesSent += static_cast<uint64_t>(sent);
                    client.nextDrip = Clock::now() + DripInterval;
                } else if (errno != EAGAIN && errno != EWOULDBLOCK) {
                    alive = false;
                }
            }
            if (!alive || (client.closeWhenSent && client.out.empty()) || drop) {
                ::close(client.fd);
                client.fd = -1;
                m_logins -= client.loggedIn ? 1 : 0;
            }
        }
        std::erase_if(clients, [](const Client& client) { return client.fd < 0; });
    }
    for (const Client& client : clients)
        ::close(client.fd);
}

void FakeNutServer::serveRequest(Client& client, const std::string& line)
{
    {
        const std::lock_guard lock(m_mutex);
        m_requests.push_back(line);
        m_arrivals.push_back(std::chrono::steady_clock::now());
    }
    if (client.out.empty() && m_answerDelay.load() > std::chrono::milliseconds(0))
        client.heldUntil = Clock::now() + m_answerDelay.load();
    const std::string full = answer(line, client);
    if (m_behaviour == Behaviour::Serve || m_behaviour == Behaviour::Drip) {
        client.out += full;
    } else if (m_behaviour == Behaviour::HangUp) {
        client.out += full.substr(0, full.size() / 2);
        client.closeWhenSent = true;
    } else if (m_behaviour == Behaviour::EndlessList) {
        client.out += "BEGIN LIST UPS\n";
        client.stream = "UPS " + m_ups.name + " \"one more UPS\"\n";
    } else if (m_behaviour == Behaviour::Garbage) {
        client.stream.assign(64, 'x');
    }
}

std::string FakeNutServer::answer(const std::string& line, Client& client)
{
    const auto request = words(line);
    const auto is = [&](std::initializer_list<const char*> expected) {
        return request.size() >= expected.size() &&
               std::equal(expected.begin(), expected.end(), request.begin());
    };
    const bool ourUps = request.size() >= 3 && request[2] == m_ups.name;
    if (is({"LIST", "UPS"}))
        return "BEGIN LIST UPS\nUPS " + m_ups.name + " \"Fake UPS\"\nEND LIST UPS\n";
    if (is({"USERNAME"}) || is({"PASSWORD"}) || is({"LOGOUT"}))
        return "OK\n";
    const bool forOurUps = request.size() == 2 && request[1] == m_ups.name;
    if (is({"LOGIN"}) && forOurUps && !client.loggedIn) {
        client.loggedIn = true;
        ++m_logins;
        return "OK\n";
    }
    if ((is({"PRIMARY"}) || is({"FSD"})) && forOurUps)
        return is({"FSD"}) ? "OK FSD-SET\n" : "OK\n";
    if (is({"GET", "NUMLOGINS"}) && ourUps)
        return "NUMLOGINS " + m_ups.name + ' ' + std::to_string(m_logins) + '\n';
    if (is({"GET", "VAR"}) && ourUps && request.size() == 4) {
        auto variables = m_ups.variables;
        {
            const std::lock_guard lock(m_mutex);
            variables.emplace_back("ups.status", m_ups.status);
        }
        const auto found =
            std::ranges::find(variables, request[3], &std::pair<std::string, std::string>::first);
        if (m_ups.stale)
            return "ERR DATA-STALE\n";
        return found == variables.end()
                   ? "ERR VAR-NOT-SUPPORTED\n"
                   : "VAR " + m_ups.name + ' ' + found->first + " \"" + found->second + "\"\n";
    }
    if (is({"LIST", "CMD"}) && ourUps) {
        std::string list = "BEGIN LIST CMD " + m_ups.name + "\n";
        for (const std::string& command : m_ups.commands)
            list += "CMD " + m_ups.name + ' ' + command + '\n';
        return list + "END LIST CMD " + m_ups.name + "\n";
    }
    if (is({"SET", "VAR"}) && ourUps)
        return "OK\n";
    if (is({"INSTCMD"}) && request.size() == 3 && request[1] == m_ups.name)
        return std::ranges::find(m_ups.commands, request[2]) != m_ups.commands.end()
                   ? "OK\n"
                   : "ERR CMD-NOT-SUPPORTED\n";
    return request.size() >= 2 && (is({"GET"}) || is({"LIST"})) ? "ERR UNKNOWN-UPS\n"
                                                                : "ERR UNKNOWN-COMMAND\n";
}

} // namespace fakenut
