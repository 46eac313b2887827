#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace fakenut {

// How the server treats every request it receives.
enum class Behaviour
{
    Serve,       // answers like upsd for one UPS
    Silent,      // accepts connections, reads, never answers
    Drip,        // answers like Serve, one byte every 0.9 s
    EndlessList, // answers every request with a list that never ends
    Garbage,     // answers with an endless stream of bytes without a line end
    HangUp,      // sends half an answer, then closes the connection
};

struct FakeUps
{
    std::string name = "fake";
    std::string status = "OL";
    // What LIST CMD answers; INSTCMD accepts these only.
    std::vector<std::string> commands{};
    // What GET VAR answers besides ups.status, as (name, value); others are not supported.
    std::vector<std::pair<std::string, std::string>> variables{};
    // Answers "ERR DATA-STALE" for every variable, as upsd does when its driver stopped updating.
    bool stale = false;
};

// A NUT server on 127.0.0.1 at a free port, served by its own thread until destroyed. It records
// every request line, so that a test can see what a client sent.
class FakeNutServer
{
public:
    explicit FakeNutServer(Behaviour behaviour, FakeUps ups = {});
    ~FakeNutServer();

    bool isListening() const { return m_listener >= 0; }
    uint16_t port() const { return m_port; }
    std::vector<std::string> requests() const;
    // When each of requests() arrived (steady clock).
    std::vector<std::chrono::steady_clock::time_point> arrivals() const;
    uint64_t bytesSent() const { return m_bytesSent; }
    // The benchmark freezes a server that has answered so far.
    void setBehaviour(Behaviour behaviour) { m_behaviour = behaviour; }
    // Closes every client connection, as a restarting server does.
    void dropConnections() { m_dropConnections = true; }
    // What ups.status answers from now on.
    void setStatus(const std::string& status);
    // Holds the answers to the requests received from now on this long, as a busy server does.
    void setAnswerDelay(std::chrono::milliseconds delay) { m_answerDelay = delay; }

private:
    struct Client;

    void run();
    void serveRequest(Client& client, const std::string& line);
    std::string answer(const std::string& line, Client& client);

    std::atomic<Behaviour> m_behaviour;
    FakeUps m_ups; // its status under m_mutex
    int m_listener = -1;
    int m_wake[2] = {-1, -1};
    uint16_t m_port = 0;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_requests;
    std::vector<std::chrono::steady_clock::time_point> m_arrivals;
    std::atomic<uint64_t> m_bytesSent{0};
    std::atomic<bool> m_dropConnections{false};
    std::atomic<std::chrono::milliseconds> m_answerDelay{std::chrono::milliseconds(0)};
    int m_logins = 0; // clients that sent LOGIN, on the server's thread
    std::thread m_thread;
};

} // namespace fakenut
