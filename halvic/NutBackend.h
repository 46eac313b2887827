#pragma once

#include "Backend.h"
#include "Config.h"
#include "NutConnection.h"
#include "NutProtocol.h"
#include "NutStatusPipe.h"

#include <chrono>

namespace halvic {

enum class NutRole
{
    // Primary when the server is on this machine and grants the user the primary right.
    Chosen,
    Primary,
    Secondary,
};

struct NutSettings
{
    NutTarget target;
    std::string user;
    std::string password;
    std::string offCommand;
    int offDelaySeconds = DefaultOffDelaySeconds;
    NutRole role = NutRole::Chosen;
    std::chrono::seconds hostsync{DefaultHostsyncSeconds};
    // Whether the status may be asked ahead on a second connection (NutStatusPipe).
    bool timedStatus = true;
};

// A UPS that a NUT server serves, asked from the worker thread: every call may wait for the
// server, up to NutConnection's bounds. The connection is kept between calls; once it fails it
// is dropped and the next call connects again, logs in again and takes its role again.
//
// Like NUT's own monitor, the backend logs in to the UPS (LOGIN) so that upsd counts this
// computer among those the UPS powers. A primary's UPS-off first sets the forced shutdown (FSD),
// then is "under way" until the other computers have logged out or hostsync has passed; a
// secondary never switches the UPS off nor sets its variables.
class NutBackend : public Backend
{
public:
    NutBackend(NutSettings settings, const Interrupt& interrupt);
    // Logs out, so that a primary waiting for this computer need not wait any longer.
    ~NutBackend() override;
    NutBackend(const NutBackend&) = delete;
    NutBackend& operator=(const NutBackend&) = delete;

    std::optional<UpsReading> readStatus() override;
    bool switchOff() override;
    OffReply requestSwitchOff() override;
    // Without a connection there is nothing to start: connecting and logging in stay with the worker.
    bool readyToStartStatus() const override { return m_connection != nullptr; }
    bool startStatus(Deadline sendBy) override;
    Progress continueStatus(Deadline spinUntil, Deadline waitUntil,
                            std::optional<UpsReading>& reading) override;
    void prefetchStatus(Deadline departAt, Clock::duration rhythm, Clock::duration maxAge) override;

private:
    bool connected();
    bool serverBelieved();
    std::string firstUps();
    bool authenticate();
    bool logIn();
    bool takePrimaryRole();
    bool othersStillLoggedIn();
    OffReply sendOffCommand();
    std::string offCommand();
    const std::optional<std::vector<std::string>>& offeredCommands();
    std::optional<UpsOff> upsOffAbility() const;
    bool setOffDelay();
    std::vector<std::string> statusRequests() const;
    bool ask(const std::string& request);
    void dropBrokenConnection();

    NutSettings m_settings;
    const Interrupt& m_interrupt;
    std::unique_ptr<NutConnection> m_connection;
    // The status asked on a second connection, timed by the kernel; none when it could not be set up.
    std::unique_ptr<NutStatusPipe> m_pipe;
    std::optional<std::vector<std::string>> m_prefetched;
    Clock::duration m_prefetchMaxAge{};
    std::string m_ups;
    bool m_authenticated = false;
    bool m_loggedIn = false;
    bool m_primary = false;
    // The last status query was answered.
    bool m_upsAnswered = false;
    // Set once the forced shutdown is set, whatever reconnects follow: the wait is counted from it.
    std::optional<Clock::time_point> m_forcedSince;
    bool m_othersGone = false;
    // The UPS's commands (LIST CMD), asked once per connection; empty when upsd did not list them.
    std::optional<std::vector<std::string>> m_offeredCommands;
    bool m_commandsAsked = false;
};

} // namespace halvic
