#pragma once

#include "LineSocket.h"
#include "NutProtocol.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace halvic {

// One plain-text connection to a NUT server (upsd). Each request, a list included, gets one
// deadline for its whole answer, and a list at most MaxListLines lines of at most
// LineSocket::MaxLineBytes: a slow or hostile server costs the worker thread ReplyTimeout and a
// few kilobytes at most. After a failed exchange the connection is broken for good: a late
// answer would otherwise be read as the answer to the next question.
class NutConnection
{
public:
    static constexpr std::chrono::seconds ReplyTimeout{2};
    static constexpr size_t MaxListLines = 256;

    static std::unique_ptr<NutConnection> open(const NutTarget& target, const Interrupt& interrupt);

    bool isBroken() const { return m_broken; }
    int socketDescriptor() const { return m_socket->descriptor(); }

    // The server's one-line answer, e.g. "OK" or "ERR ACCESS-DENIED".
    std::optional<std::string> request(const std::string& line);
    // Several one-line requests sent at once and their answers in order, within one deadline
    // (one round trip for a few questions), in two halves so that one thread can ask and read a
    // quick answer and leave a slow one to another (never both at once): sendEach sends the
    // lines by sendBy; collectEach gathers the answers until waitUntil, reading without sleeping
    // until spinUntil, and is Pending while some are missing before the exchange's ReplyTimeout.
    bool sendEach(const std::vector<std::string>& lines, Deadline sendBy);
    Progress collectEach(Deadline spinUntil, Deadline waitUntil);
    // The answers a Done collectEach gathered, in the order of the requests.
    std::vector<std::string> takeAnswers() { return std::move(m_answers); }
    // The lines between "BEGIN LIST ..." and "END LIST ...".
    std::optional<std::vector<std::string>> requestList(const std::string& line);

private:
    explicit NutConnection(std::unique_ptr<LineSocket> socket);

    std::optional<std::string> exchange(const std::string& line, Deadline deadline);
    std::optional<std::string> receive(Deadline deadline);

    std::unique_ptr<LineSocket> m_socket;
    bool m_broken = false;
    // The exchange sendEach started.
    size_t m_awaited = 0;
    std::vector<std::string> m_answers;
    Deadline m_answersDue;
};

} // namespace halvic
