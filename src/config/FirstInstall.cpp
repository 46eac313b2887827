#include "config/FirstInstall.h"

#include "config/SettingTable.h"
#include "config/Settings.h"
#include "platform/FileLock.h"

namespace brevant {

namespace {
constexpr unsigned SettingsFileMode = 0644; // the owner writes, everyone may read the settings
} // namespace

QByteArray firstInstallSettings()
{
    return firstInstallText();
}

Result<bool> writeFirstInstallSettings(const AppPaths& paths)
{
    if (Status made = paths.createDirectories(); !made.ok())
        return Result<bool>::failure(made.error());
    const QString file = paths.settingsFile();
    // Written whole or not at all (a torn file would read as "no shutdown on any event"), never
    // over anything that holds the name, a planted link to nowhere included.
    const Result<bool> created = createFileAtomically(file, firstInstallSettings(), SettingsFileMode);
    if (created.ok() && !created.value())
        static_cast<void>(Settings(file).reportFileProblem());
    return created;
}

} // namespace brevant
