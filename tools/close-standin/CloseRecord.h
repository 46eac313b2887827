#pragma once

#include "AppCloser.h"
#include "base/Result.h"
#include "config/AppPaths.h"

namespace closestandin {

// Lists the closed applications in CloseApp.ini for the monitor's save-list window: extends a list
// the monitor has not imported yet ([Schema] CloseAppFlag is 1), else starts a new one. Then sets
// CloseAppFlag and SaveList. Does nothing when nothing was closed. Stops at the first write that
// fails; entries past the list's Count are never imported.
brevant::Status recordClosedApps(const brevant::AppPaths& paths, const QList<ClosedApp>& closed);

// Hands the shutdown back to the monitor: [Schema] ShutDown = 1, the last thing close.exe writes.
brevant::Status requestShutdown(const brevant::AppPaths& paths);

} // namespace closestandin
