// libFuzzer target: a NUT server on loopback that answers whatever the input says, line after
// line, to a NUT backend that looks for its UPS, logs in, reads the status and switches the UPS
// off. Whatever the server says, the backend must send only the requests it means: no name the
// server made up may carry anything but a plain word into a command.
#include "FuzzSupport.h"
#include "NutBackend.h"
#include "NutProtocol.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

sockaddr_in loopback(uint16_t port)
{
    return {
        .sin_family = AF_INET, .sin_port = htons(port), .sin_addr = {htonl(INADDR_LOOPBACK)}, .sin_zero = {}};
}

// Serves one connection at a time, in the order they came: the reply bytes go out at once, then
// everything the client sends is kept until it hangs up.
class ReplayServer
{
public:
    ReplayServer()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = loopback(0);
        socklen_t length = sizeof address;
        if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(m_listener, 64) != 0 ||
            ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            fuzz::invariantBroken("no loopback listener");
        m_port = ntohs(address.sin_port);
        std::thread([this] { serve(); }).detach();
    }

    uint16_t port() const { return m_port; }

    void setReplies(std::string replies)
    {
        const std::lock_guard lock(m_mutex);
        m_replies = std::move(replies);
        m_received.clear();
    }

    // Waits until every connection made so far is served and returns what the client sent. A
    // connection of our own, served after all earlier ones, marks the end.
    std::string received()
    {
        const int fd = connectToServer();
        for (char buffer[4096]; ::recv(fd, buffer, sizeof buffer, 0) > 0;) {
        }
        ::close(fd);
        std::unique_lock lock(m_mutex);
        const unsigned marker = ++m_markers;
        m_served.wait(lock, [&] { return m_markersServed >= marker; });
        return m_received;
    }

private:
    // Hundreds of thousands of short connections can use up the loopback's local ports for a
    // moment; that is the harness running out, not the backend failing, so wait for one.
    int connectToServer() const
    {
        const sockaddr_in address = loopback(m_port);
        for (int attempt = 0; attempt < 1000; ++attempt) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            if (fd < 0)
                fuzz::invariantBroken("no socket for the loopback server");
            if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
                return fd;
            const int error = errno;
            ::close(fd);
            if (error != EADDRNOTAVAIL && error != EAGAIN)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        fuzz::invariantBroken("cannot reach the loopback server");
    }

    void serve()
    {
        for (;;) {
            const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            const std::string replies = [this] {
                const std::lock_guard lock(m_mutex);
                return m_replies;
            }();
            for (size_t sent = 0; sent < replies.size();) {
                const ssize_t n = ::send(fd, replies.data() + sent, replies.size() - sent, MSG_NOSIGNAL);
                if (n <= 0)
                    break;
                sent += size_t(n);
            }
            ::shutdown(fd, SHUT_WR);
            std::string requests;
            char buffer[4096];
            for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
                requests.append(buffer, size_t(n));
            // Reset instead of a TIME_WAIT that would keep the port pair for a minute.
            const linger reset{.l_onoff = 1, .l_linger = 0};
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
            ::close(fd);
            const std::lock_guard lock(m_mutex);
            m_received += requests;
            // Only our own marker connection sends nothing at all; the backend always asks.
            if (requests.empty()) {
                ++m_markersServed;
                m_served.notify_all();
            }
        }
    }

    int m_listener = -1;
    uint16_t m_port = 0;
    std::mutex m_mutex;
    std::condition_variable m_served;
    std::string m_replies;
    std::string m_received;
    unsigned m_markers = 0;
    unsigned m_markersServed = 0;
};

// A request the backend means to send: a known verb, and plain names wherever a name goes.
bool wellFormed(const std::string& line)
{
    if (std::any_of(line.begin(), line.end(), [](unsigned char c) { return c < 0x20 || c == 0x7f; }))
        return false;
    if (line == "LIST UPS" || line == "USERNAME \"monuser\"" || line == "PASSWORD \"secret\"" ||
        line == "LOGOUT")
        return true;
    const auto words = halvic::splitNutLine(line);
    const auto plain = [&words](size_t i) { return halvic::isValidNutName(words[i]); };
    if (words.empty())
        return false;
    const bool upsVerb =
        words[0] == "LOGIN" || words[0] == "PRIMARY" || words[0] == "MASTER" || words[0] == "FSD";
    if (words.size() == 2 && upsVerb)
        return plain(1);
    if (words.size() == 3 && words[0] == "GET" && words[1] == "NUMLOGINS")
        return plain(2);
    const auto& values = halvic::nutValueVariables();
    if (words.size() == 4 && words[0] == "GET" && words[1] == "VAR" &&
        (words[3] == "ups.status" || std::ranges::find(values, words[3]) != values.end()))
        return plain(2);
    if (words.size() == 3 && words[0] == "LIST" && words[1] == "CMD")
        return plain(2);
    if (words.size() == 5 && words[0] == "SET" && words[1] == "VAR" && words[3] == "ups.delay.shutdown")
        return plain(2) && words[4] == "60";
    if (words.size() == 3 && words[0] == "INSTCMD")
        return plain(1) && halvic::isDelayedOffCommand(words[2]);
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static ReplayServer server;
    if (size < 1)
        return 0;
    const uint8_t options = data[0];
    server.setReplies(std::string(reinterpret_cast<const char*>(data + 1), size - 1));
    {
        const halvic::Interrupt interrupt;
        halvic::NutSettings settings{.target = {.ups = options & 1 ? "ups1" : "",
                                                .host = "127.0.0.1",
                                                .port = server.port(),
                                                .hostNamed = true},
                                     .user = "monuser",
                                     .password = "secret",
                                     .offCommand = "",
                                     .offDelaySeconds = halvic::DefaultOffDelaySeconds,
                                     .role = options & 4 ? halvic::NutRole::Primary : halvic::NutRole::Chosen,
                                     .hostsync = std::chrono::seconds(0),
                                     // One connection at a time is all this server serves.
                                     .timedStatus = false};
        halvic::NutBackend backend(settings, interrupt);
        static_cast<void>(backend.readStatus());
        if (options & 2)
            static_cast<void>(backend.switchOff());
        static_cast<void>(backend.readStatus());
    }
    const std::string requests = server.received();
    size_t start = 0;
    for (size_t end; (end = requests.find('\n', start)) != std::string::npos; start = end + 1) {
        if (!wellFormed(requests.substr(start, end - start)))
            fuzz::invariantBroken("the backend sent a request it does not mean to send");
    }
    if (start != requests.size())
        fuzz::invariantBroken("a request without its line end");
    return 0;
}
