#pragma once

// upsclient.h uses uint16_t and time_t without including their headers.
#include <chrono>
#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <upsclient.h>
#include <vector>

namespace halvic {

// One plain-text connection to a NUT server (upsd) through libupsclient. Every wait for the
// server is bounded by the time-out, so a dead or hung server costs about that much, no more.
// After a failed exchange the connection is broken for good: a late answer would otherwise be
// read as the answer to the next question.
class NutConnection
{
public:
    static constexpr std::chrono::seconds Timeout{1};

    static std::unique_ptr<NutConnection> open(const std::string& host, uint16_t port);
    ~NutConnection();
    NutConnection(const NutConnection&) = delete;
    NutConnection& operator=(const NutConnection&) = delete;

    bool isBroken() const { return m_broken; }

    // The server's one-line answer, e.g. "OK" or "ERR ACCESS-DENIED".
    std::optional<std::string> request(const std::string& line);
    // The lines between "BEGIN LIST ..." and "END LIST ...".
    std::optional<std::vector<std::string>> requestList(const std::string& line);

private:
    NutConnection() = default;

    bool send(const std::string& line);
    std::optional<std::string> receive();

    UPSCONN_t m_connection{};
    bool m_broken = false;
};

} // namespace halvic
