#include "NutBackend.h"

#include "Log.h"
#include "NutTrust.h"

#include <algorithm>

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

NutBackend::~NutBackend()
{
    if (m_connection && m_loggedIn)
        m_connection->request("LOGOUT");
}

std::optional<UpsReading> NutBackend::readStatus()
{
    m_upsAnswered = false;
    std::optional<UpsReading> reading;
    if (connected() && startStatus(Deadline::max()))
        continueStatus(Deadline::min(), Deadline::max(), reading);
    return reading;
}

// The status and the values in one round trip: a few answers of one line each, so the poll costs
// no more waits than the status alone.
bool NutBackend::startStatus(Deadline sendBy)
{
    m_upsAnswered = false;
    m_prefetched.reset();
    if (!m_connection)
        return false;
    if (m_pipe) {
        m_prefetched = m_pipe->take(m_prefetchMaxAge);
        dropBrokenConnection();
        // The pipe only ever adds an answer: a status it was not told (DATA-STALE included) is
        // asked on the main connection, whose answer counts.
        if (m_prefetched && varFromAnswer(m_prefetched->front(), m_ups, "ups.status"))
            return true;
        m_prefetched.reset();
    }
    const bool sent = m_connection->sendEach(statusRequests(), sendBy);
    dropBrokenConnection();
    return sent;
}

std::vector<std::string> NutBackend::statusRequests() const
{
    std::vector<std::string> requests{"GET VAR " + m_ups + " ups.status"};
    for (const std::string& name : nutValueVariables())
        requests.push_back("GET VAR " + m_ups + ' ' + name);
    return requests;
}

Progress NutBackend::continueStatus(Deadline spinUntil, Deadline waitUntil,
                                    std::optional<UpsReading>& reading)
{
    reading.reset();
    std::vector<std::string> answers;
    if (m_prefetched) {
        answers = std::move(*m_prefetched);
        m_prefetched.reset();
    } else {
        const Progress progress =
            m_connection ? m_connection->collectEach(spinUntil, waitUntil) : Progress::Failed;
        if (progress != Progress::Done) {
            dropBrokenConnection();
            return progress;
        }
        answers = m_connection->takeAnswers();
    }
    // Anything else, "ERR DATA-STALE" included, is no answer.
    const auto status = varFromAnswer(answers.front(), m_ups, "ups.status");
    reading = status ? readingFromUpsStatus(*status) : std::nullopt;
    m_upsAnswered = reading.has_value();
    if (reading) {
        reading->values = valuesFromAnswers({answers.begin() + 1, answers.end()}, m_ups);
        if (const auto upsOff = upsOffAbility())
            addUpsOff(reading->values, *upsOff);
    }
    return Progress::Done;
}

void NutBackend::prefetchStatus(Deadline departAt, Clock::duration rhythm, Clock::duration maxAge)
{
    if (!m_pipe)
        return;
    m_prefetchMaxAge = maxAge;
    m_pipe->prefetch(departAt, rhythm);
    dropBrokenConnection();
}

bool NutBackend::switchOff()
{
    return requestSwitchOff() == OffReply::Accepted;
}

OffReply NutBackend::requestSwitchOff()
{
    if (m_settings.role == NutRole::Secondary) {
        logOnce("nut", "nut_role = secondary: the primary computer switches the UPS off, not this one");
        return OffReply::NotMine;
    }
    // Only a server that serves the UPS can make this computer a secondary.
    if (!connected() || !m_upsAnswered)
        return OffReply::NoAnswer;
    if (!m_primary) {
        logOnce("nut", "this computer is a secondary of UPS '" + m_ups +
                           "' (upsd is not on this machine or did not grant nut_user the primary right): the "
                           "primary computer switches the UPS off, not this one");
        return OffReply::NotMine;
    }
    if (!m_forcedSince) {
        if (!ask("FSD " + m_ups)) {
            logOnce("nut",
                    "upsd did not set the forced shutdown of UPS '" + m_ups +
                        "' (nut_user needs \"upsmon primary\" in upsd.users): the other computers are not "
                        "told to shut down");
        }
        m_forcedSince = Clock::now();
    }
    if (!m_othersGone && Clock::now() - *m_forcedSince < m_settings.hostsync && othersStillLoggedIn())
        return OffReply::UnderWay;
    m_othersGone = true;
    return connected() ? sendOffCommand() : OffReply::NoAnswer;
}

// Connects, checks whom it talks to, finds the UPS, logs in and takes its role, once per
// connection.
bool NutBackend::connected()
{
    if (m_connection)
        return true;
    m_connection = NutConnection::open(m_settings.target, m_interrupt);
    if (!m_connection)
        return false;
    if (!serverBelieved()) {
        m_connection.reset();
        return false;
    }
    m_ups = m_settings.target.ups.empty() ? firstUps() : m_settings.target.ups;
    if (m_ups.empty() || !m_connection) {
        m_connection.reset();
        return false;
    }
    m_authenticated = authenticate();
    m_loggedIn = m_authenticated && logIn();
    m_primary = m_connection && takePrimaryRole();
    m_commandsAsked = false;
    // Asked here, on the worker: a status query may run on the caller's thread, which never
    // waits for a list.
    if (m_connection && m_primary && m_loggedIn)
        offeredCommands();
    if (m_connection && m_settings.timedStatus)
        m_pipe = NutStatusPipe::open(m_settings.target, statusRequests(), m_interrupt);
    // The second connection may have reached another listener: it is believed on its own.
    if (m_pipe && reasonToDistrustServer(m_pipe->socketDescriptor()))
        m_pipe.reset();
    return m_connection != nullptr;
}

bool NutBackend::serverBelieved()
{
    const auto reason = reasonToDistrustServer(m_connection->socketDescriptor());
    if (reason) {
        const NutTarget& target = m_settings.target;
        logOnce("nut", "not believing the NUT server on " + target.host + ':' + std::to_string(target.port) +
                           ": " + *reason);
    }
    return !reason;
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
// per connection, and only to the server the configuration names.
bool NutBackend::authenticate()
{
    if (m_settings.user.empty())
        return false;
    if (!m_settings.target.hostNamed) {
        logOnce("nut", "nut_user and nut_password are not sent: nut_ups names no server (write "
                       "nut_ups = ups@localhost to send them to this machine's upsd)");
        return false;
    }
    return ask("USERNAME " + quotedNutWord(m_settings.user)) &&
           ask("PASSWORD " + quotedNutWord(m_settings.password));
}

bool NutBackend::logIn()
{
    const bool counted = ask("LOGIN " + m_ups);
    if (!counted && m_connection) {
        logOnce("nut", "upsd does not count this computer among those UPS '" + m_ups +
                           "' powers: nut_user '" + m_settings.user +
                           "' needs \"upsmon secondary\" (or primary) in upsd.users");
    }
    return counted;
}

// NUT 2.8 names the right PRIMARY, older servers MASTER; it has no other effect.
bool NutBackend::takePrimaryRole()
{
    const bool wanted =
        m_settings.role == NutRole::Primary ||
        (m_settings.role == NutRole::Chosen && isServerOnThisMachine(m_connection->socketDescriptor()));
    if (!wanted || !m_loggedIn)
        return m_settings.role == NutRole::Primary;
    const auto answer = m_connection->request("PRIMARY " + m_ups);
    bool granted = isOk(answer);
    if (answer && answer->starts_with("ERR UNKNOWN-COMMAND"))
        granted = ask("MASTER " + m_ups);
    dropBrokenConnection();
    if (!granted && m_settings.role == NutRole::Primary) {
        logOnce("nut", "nut_role = primary, but upsd does not grant nut_user '" + m_settings.user +
                           "' the primary right (\"upsmon primary\" in upsd.users)");
    }
    return granted || m_settings.role == NutRole::Primary;
}

// More logins than this computer's own: another computer has not shut down yet. Without an
// answer the wait goes on (up to hostsync).
bool NutBackend::othersStillLoggedIn()
{
    if (!connected())
        return true;
    const auto answer = m_connection->request("GET NUMLOGINS " + m_ups);
    dropBrokenConnection();
    const auto count = loginCountFromAnswer(answer.value_or(""), m_ups);
    return !count || *count > (m_loggedIn ? 1 : 0);
}

OffReply NutBackend::sendOffCommand()
{
    if (!m_authenticated) {
        logOnce("nut", m_settings.user.empty()
                           ? "UPS off needs nut_user and nut_password, an upsd user that may run it"
                           : "UPS off refused: upsd did not accept nut_user '" + m_settings.user +
                                 "' with its password");
        return OffReply::NoAnswer;
    }
    const std::string command = offCommand();
    if (command.empty() || !m_connection)
        return OffReply::NoAnswer;
    // Without its delay set, load.off.delay may be as sudden as load.off; the other two fall back
    // to the delay the UPS already has.
    if (isDelayedOffCommand(command) && !setOffDelay() && command == "load.off.delay")
        return OffReply::NoAnswer;
    if (!m_connection)
        return OffReply::NoAnswer;
    const auto answer = m_connection->request("INSTCMD " + m_ups + ' ' + command);
    dropBrokenConnection();
    if (!isOk(answer))
        logOnce("nut", "upsd refused " + command + " on '" + m_ups + "': " + answer.value_or("no answer"));
    return isOk(answer) ? OffReply::Accepted : OffReply::NoAnswer;
}

std::string NutBackend::offCommand()
{
    if (!m_settings.offCommand.empty())
        return m_settings.offCommand;
    const auto& offered = offeredCommands();
    if (!offered)
        return {};
    m_settings.offCommand = preferredOffCommand(*offered);
    if (m_settings.offCommand.empty()) {
        logOnce("nut", "UPS '" + m_ups +
                           "' offers no delayed off command (shutdown.return, shutdown.stayoff, "
                           "load.off.delay), so it is not switched off; nut_offcmd may name another one");
    }
    return m_settings.offCommand;
}

const std::optional<std::vector<std::string>>& NutBackend::offeredCommands()
{
    if (m_commandsAsked || !m_connection)
        return m_offeredCommands;
    m_commandsAsked = true;
    m_offeredCommands = commandsFromList(m_connection->requestList("LIST CMD " + m_ups), m_ups);
    dropBrokenConnection();
    return m_offeredCommands;
}

// What requestSwitchOff would come to, told without sending anything: the role, the login and
// the commands upsd listed when the connection began. Empty when it listed none.
std::optional<UpsOff> NutBackend::upsOffAbility() const
{
    if (m_settings.role == NutRole::Secondary || !m_primary)
        return UpsOff{OffAbility::Secondary};
    if (!m_authenticated) {
        return UpsOff{OffAbility::No,
                      m_settings.user.empty()
                          ? "no nut_user and nut_password that upsd lets run the off command"
                          : "upsd did not accept nut_user '" + m_settings.user + "' with its password"};
    }
    // Without the login the forced shutdown is refused too, and most often the command with it.
    if (!m_loggedIn) {
        return UpsOff{OffAbility::No, "upsd did not let nut_user '" + m_settings.user + "' log in to UPS '" +
                                          m_ups +
                                          "' (a wrong password, or no \"upsmon primary\" in upsd.users)"};
    }
    const auto& offered = m_offeredCommands;
    if (!m_commandsAsked || !offered)
        return std::nullopt;
    const std::string& configured = m_settings.offCommand;
    if (configured.empty() && preferredOffCommand(*offered).empty())
        return UpsOff{OffAbility::No,
                      "UPS '" + m_ups + "' offers no delayed off command; nut_offcmd may name one"};
    if (!configured.empty() && std::ranges::find(*offered, configured) == offered->end())
        return UpsOff{OffAbility::No, "UPS '" + m_ups + "' does not offer nut_offcmd " + configured};
    return UpsOff{OffAbility::Yes};
}

bool NutBackend::setOffDelay()
{
    const std::string seconds = std::to_string(m_settings.offDelaySeconds);
    const bool set = ask("SET VAR " + m_ups + " ups.delay.shutdown " + quotedNutWord(seconds));
    if (!set)
        logOnce("nut", "UPS '" + m_ups + "' did not take ups.delay.shutdown = " + seconds);
    return set && m_connection;
}

bool NutBackend::ask(const std::string& request)
{
    if (!m_connection)
        return false;
    const bool ok = isOk(m_connection->request(request));
    dropBrokenConnection();
    return ok;
}

void NutBackend::dropBrokenConnection()
{
    if (m_pipe && m_pipe->isBroken())
        m_pipe.reset();
    if (m_connection && m_connection->isBroken()) {
        m_connection.reset();
        m_pipe.reset();
        m_authenticated = false;
        m_loggedIn = false;
        m_primary = false;
    }
}

} // namespace halvic
