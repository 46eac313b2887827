#pragma once

#include "Backend.h"
#include "SimStateFile.h"

namespace halvic {

// A UPS that answers, with its values, as its state file says; "silent" is a UPS that does not
// answer at all. Its value halvic.ups_off decides the UPS-off command too: "no" leaves it
// unanswered, "secondary" declines it as not this computer's.
class SimBackend : public Backend
{
public:
    explicit SimBackend(std::string stateFile);

    std::optional<UpsReading> readStatus() override;
    bool switchOff() override;
    OffReply requestSwitchOff() override;

private:
    SimStateFile m_file;
};

} // namespace halvic
