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

// A UPS that a NUT server serves. The connection opened here is kept for every later exchange;
// once it fails the backend answers nothing, and the caller's next reopen connects again.
class NutBackend : public Backend
{
public:
    explicit NutBackend(NutSettings settings);

    std::optional<UpsReading> readStatus() override;
    bool switchOff() override;

private:
    bool knowsUps();
    bool sendCredentials();
    std::string offCommand();
    bool setOffDelay();
    void dropBrokenConnection();

    NutSettings m_settings;
    std::unique_ptr<NutConnection> m_connection;
    bool m_credentialsSent = false;
};

} // namespace halvic
