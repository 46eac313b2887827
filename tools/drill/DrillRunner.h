#pragma once

#include "Report.h"
#include "Scenario.h"
#include "config/AppPaths.h"

#include <memory>

namespace brevant::drill {

// Runs a scenario against the real engine on virtual time, with a simulated USB UPS and simulated
// serial lines, and tells the report what happens. Nothing real is touched: no device, no program
// start, no power-off; the settings and databases it is given are its own copy.
class DrillRunner
{
public:
    DrillRunner(const AppPaths& paths, Report& report);
    ~DrillRunner();

    void run(const Scenario& scenario);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace brevant::drill
