#include "NutBackend.h"

#include "Log.h"

namespace halvic {

namespace {

bool isOk(const std::optional<std::string>& answer)
{
    return answer && (*answer == "OK" || answer->starts_with("OK "));
}

} // namespace

NutBackend::NutBackend(NutSettings settings, const Interrupt& interrupt)
    : m_settings(std::move(settings))
    , m_interrupt(interrupt)
{}

std::optional<UpsReading> NutBackend::readStatus()
{
    if (!connected())
        return std::nullopt;
    const auto answer = m_connection->request("GET VAR " + m_ups + " ups.status");
    dropBrokenConnection();
    if (!answer)
        return std::nullopt;
    const auto words = splitNutLine(*answer);
    if (words.size() != 4 || words[0] != "VAR" || words[1] != m_ups || words[2] != "ups.status")
        return std::nullopt;
    return readingFromUpsStatus(words[3]);
}

bool NutBackend::switchOff()
{
    if (!connected())
        return false;
    if (!m_loggedIn) {
        logOnce("nut", m_settings.user.empty()
                           ? "UPS off needs nut_user and nut_password, an upsd user that may run it"
                           : "UPS off refused: upsd did not accept nut_user '" + m_settings.user +
                                 "' with its password");
        return false;
    }
    const std::string command = offCommand();
    if (command.empty() || !m_connection)
        return false;
    // Without its delay set, load.off.delay may be as sudden as load.off; the other two fall back
    // to the delay the UPS already has.
    if (isDelayedOffCommand(command) && !setOffDelay() && command == "load.off.delay")
        return false;
    if (!m_connection)
        return false;
    const auto answer = m_connection->request("INSTCMD " + m_ups + ' ' + command);
    dropBrokenConnection();
    if (!isOk(answer))
        logOnce("nut", "upsd refused " + command + " on '" + m_ups + "': " + answer.value_or("no answer"));
    return isOk(answer);
}

// Connects, finds the UPS and logs in, once per connection.
bool NutBackend::connected()
{
    if (m_connection)
        return true;
    m_connection = NutConnection::open(m_settings.target, m_interrupt);
    if (!m_connection)
        return false;
    m_ups = m_settings.target.ups.empty() ? firstUps() : m_settings.target.ups;
    if (m_ups.empty() || !m_connection) {
        m_connection.reset();
        return false;
    }
    m_loggedIn = logIn();
    return m_connection != nullptr;
}

std::string NutBackend::firstUps()
{
    const auto lines = m_connection->requestList("LIST UPS");
    dropBrokenConnection();
    for (const std::string& line : lines.value_or(std::vector<std::string>())) {
        const auto words = splitNutLine(line);
        if (words.size() >= 2 && words[0] == "UPS" && isValidNutName(words[1]))
            return words[1];
    }
    return {};
}

// The server keeps the user of a connection and refuses to be told twice, so they are sent once
// per connection.
bool NutBackend::logIn()
{
    if (m_settings.user.empty())
        return false;
    const bool userTaken = isOk(m_connection->request("USERNAME " + quotedNutWord(m_settings.user)));
    const bool passwordTaken =
        userTaken && isOk(m_connection->request("PASSWORD " + quotedNutWord(m_settings.password)));
    dropBrokenConnection();
    return passwordTaken;
}

std::string NutBackend::offCommand()
{
    if (!m_settings.offCommand.empty())
        return m_settings.offCommand;
    const auto lines = m_connection->requestList("LIST CMD " + m_ups);
    dropBrokenConnection();
    if (!lines)
        return {};
    std::vector<std::string> offered;
    for (const std::string& line : *lines) {
        const auto words = splitNutLine(line);
        if (words.size() == 3 && words[0] == "CMD" && words[1] == m_ups)
            offered.push_back(words[2]);
    }
    m_settings.offCommand = preferredOffCommand(offered);
    if (m_settings.offCommand.empty()) {
        logOnce("nut", "UPS '" + m_ups +
                           "' offers no delayed off command (shutdown.return, shutdown.stayoff, "
                           "load.off.delay), so it is not switched off; nut_offcmd may name another one");
    }
    return m_settings.offCommand;
}

bool NutBackend::setOffDelay()
{
    const std::string seconds = std::to_string(m_settings.offDelaySeconds);
    const bool set =
        isOk(m_connection->request("SET VAR " + m_ups + " ups.delay.shutdown " + quotedNutWord(seconds)));
    dropBrokenConnection();
    if (!set)
        logOnce("nut", "UPS '" + m_ups + "' did not take ups.delay.shutdown = " + seconds);
    return set && m_connection;
}

void NutBackend::dropBrokenConnection()
{
    if (m_connection && m_connection->isBroken()) {
        m_connection.reset();
        m_loggedIn = false;
    }
}

} // namespace halvic
