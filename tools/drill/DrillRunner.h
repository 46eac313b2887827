#pragma once

#include "Scenario.h"
#include "config/AppPaths.h"

#include <QTextStream>
#include <memory>

namespace brevant::drill {

// Runs a scenario against the real engine on virtual time, with a simulated USB UPS and simulated
// serial lines, and reports what happens as one JSON object per line. Nothing real is touched:
// no device, no program start, no power-off.
class DrillRunner
{
public:
    DrillRunner(const AppPaths& paths, QTextStream& out);
    ~DrillRunner();

    void run(const Scenario& scenario);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace brevant::drill
