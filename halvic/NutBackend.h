#pragma once

#include "Backend.h"
#include "Config.h"
#include "NutConnection.h"
#include "NutProtocol.h"

namespace halvic {

struct NutSettings
{
    NutTarget target;
    std::string user;
    std::string password;
    std::string offCommand;
    int offDelaySeconds = DefaultOffDelaySeconds;
};

// A UPS that a NUT server serves, asked from the worker thread: every call may wait for the
// server, up to NutConnection's bounds. The connection is kept between calls; once it fails it
// is dropped and the next call connects again.
class NutBackend : public Backend
{
public:
    NutBackend(NutSettings settings, const Interrupt& interrupt);

    std::optional<UpsReading> readStatus() override;
    bool switchOff() override;

private:
    bool connected();
    std::string firstUps();
    bool logIn();
    std::string offCommand();
    bool setOffDelay();
    void dropBrokenConnection();

    NutSettings m_settings;
    const Interrupt& m_interrupt;
    std::unique_ptr<NutConnection> m_connection;
    std::string m_ups;
    bool m_loggedIn = false;
};

} // namespace halvic
