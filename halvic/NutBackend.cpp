#include "NutBackend.h"

#include "Log.h"

namespace halvic {

namespace {

bool isOk(const std::optional<std::string>& answer)
{
    return answer && (*answer == "OK" || answer->starts_with("OK "));
}

} // namespace

NutBackend::NutBackend(NutSettings settings)
    : m_settings(std::move(settings))
    , m_connection(NutConnection::open(m_settings.target.host, m_settings.target.port))
{}

std::optional<UpsReading> NutBackend::readStatus()
{
    if (!knowsUps())
        return std::nullopt;
    const std::string& ups = m_settings.target.ups;
    const auto answer = m_connection->request("GET VAR " + ups + " ups.status");
    dropBrokenConnection();
    if (!answer)
        return std::nullopt;
    const auto words = splitNutLine(*answer);
    if (words.size() != 4 || words[0] != "VAR" || words[1] != ups || words[2] != "ups.status")
        return std::nullopt;
    return readingFromUpsStatus(words[3]);
}

bool NutBackend::switchOff()
{
    if (!knowsUps() || !sendCredentials())
        return false;
    const std::string command = offCommand();
    if (command.empty() || !m_connection)
        return false;
    // Without its delay set, load.off.delay may be as sudden as load.off; the other two fall back
    // to the delay the UPS already has.
    if (isDelayedOffCommand(command) && !setOffDelay() && command == "load.off.delay")
        return false;
    const bool accepted = isOk(m_connection->request("INSTCMD " + m_settings.target.ups + ' ' + command));
    dropBrokenConnection();
    return accepted;
}

// With no UPS named, the first one the server lists.
bool NutBackend::knowsUps()
{
    if (!m_connection)
        return false;
    if (!m_settings.target.ups.empty())
        return true;
    const auto lines = m_connection->requestList("LIST UPS");
    dropBrokenConnection();
    if (!lines)
        return false;
    for (const std::string& line : *lines) {
        const auto words = splitNutLine(line);
        if (words.size() >= 2 && words[0] == "UPS") {
            m_settings.target.ups = words[1];
            return true;
        }
    }
    return false;
}

// The server keeps the user of a connection and refuses to be told twice, so they are sent once;
// whether they are right only shows in the answer to the command.
bool NutBackend::sendCredentials()
{
    if (m_credentialsSent || m_settings.user.empty())
        return true;
    m_credentialsSent = true;
    const bool userTaken = isOk(m_connection->request("USERNAME " + quotedNutWord(m_settings.user)));
    const bool passwordTaken =
        userTaken && isOk(m_connection->request("PASSWORD " + quotedNutWord(m_settings.password)));
    dropBrokenConnection();
    return passwordTaken;
}

std::string NutBackend::offCommand()
{
    if (!m_settings.offCommand.empty() || !m_connection)
        return m_settings.offCommand;
    const std::string& ups = m_settings.target.ups;
    const auto lines = m_connection->requestList("LIST CMD " + ups);
    dropBrokenConnection();
    if (!lines)
        return {};
    std::vector<std::string> offered;
    for (const std::string& line : *lines) {
        const auto words = splitNutLine(line);
        if (words.size() == 3 && words[0] == "CMD" && words[1] == ups)
            offered.push_back(words[2]);
    }
    m_settings.offCommand = preferredOffCommand(offered);
    if (m_settings.offCommand.empty()) {
        logOnce("nut", "UPS '" + ups +
                           "' offers no delayed off command (shutdown.return, shutdown.stayoff, "
                           "load.off.delay), so it is not switched off; nut_offcmd may name another one");
    }
    return m_settings.offCommand;
}

bool NutBackend::setOffDelay()
{
    const std::string& ups = m_settings.target.ups;
    const std::string seconds = std::to_string(m_settings.offDelaySeconds);
    const bool set =
        isOk(m_connection->request("SET VAR " + ups + " ups.delay.shutdown " + quotedNutWord(seconds)));
    dropBrokenConnection();
    if (!set)
        logOnce("nut", "UPS '" + ups + "' did not take ups.delay.shutdown = " + seconds);
    return set && m_connection;
}

void NutBackend::dropBrokenConnection()
{
    if (m_connection && m_connection->isBroken())
        m_connection.reset();
}

} // namespace halvic
