#pragma once

#include <QString>

namespace brevant {
class AppPaths;
}

namespace brevant::drill {

// "On this computer now: Protected — …" or "… Not protected: <reason>. <What to do>.": the
// monitor's readiness verdict for the user's real settings on this machine, read only. The UPS
// is not asked (the drill never touches a device); a record the check writes goes to the drill's
// copy in `copy`.
QString machineVerdict(const AppPaths& copy);

} // namespace brevant::drill
