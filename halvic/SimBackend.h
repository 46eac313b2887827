#pragma once

#include "Backend.h"
#include "SimStateFile.h"

namespace halvic {

// A UPS that answers, with its values, as its state file says; "silent" is a UPS that does not
// answer at all.
class SimBackend : public Backend
{
public:
    explicit SimBackend(std::string stateFile);

    std::optional<UpsReading> readStatus() override;
    bool switchOff() override;

private:
    SimStateFile m_file;
};

} // namespace halvic
