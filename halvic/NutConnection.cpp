#include "NutConnection.h"

namespace halvic {

std::unique_ptr<NutConnection> NutConnection::open(const NutTarget& target, const Interrupt& interrupt)
{
    auto socket = LineSocket::connect(target.host, target.port, Clock::now() + ReplyTimeout, interrupt);
    if (!socket)
        return nullptr;
    return std::unique_ptr<NutConnection>(new NutConnection(std::move(socket)));
}

NutConnection::NutConnection(std::unique_ptr<LineSocket> socket)
    : m_socket(std::move(socket))
{}

std::optional<std::string> NutConnection::request(const std::string& line)
{
    return exchange(line, Clock::now() + ReplyTimeout);
}

bool NutConnection::sendEach(const std::vector<std::string>& lines, Deadline sendBy)
{
    m_answersDue = Clock::now() + ReplyTimeout;
    m_awaited = lines.size();
    m_answers.clear();
    m_broken = m_broken || !m_socket->sendLine(joinedNutLines(lines), std::min(sendBy, m_answersDue));
    return !m_broken;
}

Progress NutConnection::collectEach(Deadline spinUntil, Deadline waitUntil)
{
    while (!m_broken && m_answers.size() < m_awaited) {
        std::string answer;
        const Progress read = m_socket->readLine(answer, spinUntil, std::min(waitUntil, m_answersDue));
        if (read == Progress::Pending && waitUntil < m_answersDue)
            return Progress::Pending;
        m_broken = read != Progress::Done;
        if (!m_broken)
            m_answers.push_back(std::move(answer));
    }
    return m_broken ? Progress::Failed : Progress::Done;
}

std::optional<std::vector<std::string>> NutConnection::requestList(const std::string& line)
{
    const Deadline deadline = Clock::now() + ReplyTimeout;
    const auto first = exchange(line, deadline);
    if (!first || !first->starts_with("BEGIN LIST "))
        return std::nullopt;
    std::vector<std::string> lines;
    while (lines.size() < MaxListLines) {
        const auto next = receive(deadline);
        if (!next)
            return std::nullopt;
        if (next->starts_with("END LIST "))
            return lines;
        lines.push_back(*next);
    }
    m_broken = true;
    return std::nullopt;
}

std::optional<std::string> NutConnection::exchange(const std::string& line, Deadline deadline)
{
    if (m_broken || !m_socket->sendLine(line, deadline)) {
        m_broken = true;
        return std::nullopt;
    }
    return receive(deadline);
}

std::optional<std::string> NutConnection::receive(Deadline deadline)
{
    auto line = m_broken ? std::nullopt : m_socket->readLine(deadline);
    m_broken = !line;
    return line;
}

} // namespace halvic
