#pragma once

#include "base/Result.h"
#include "config/AppPaths.h"

#include <QByteArray>

namespace brevant {

// The settings file as first installed: USB link, every list limited to 1000 records, every event
// recorded, and a shutdown one minute after the battery runs low.
QByteArray firstInstallSettings();

// A fresh installation is protected from its first start: where the settings file is missing, the
// settings and data directories are created and the first-install settings written (mode 0644
// whatever the umask; never through a symbolic link). True when it wrote them, false when
// something already holds the name: a settings file that gives no settings (Settings::fileProblem)
// is then logged once. A failure says why.
Result<bool> writeFirstInstallSettings(const AppPaths& paths);

} // namespace brevant
