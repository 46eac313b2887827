#include "config/FirstInstall.h"

#include "FirstInstallData.h"

#include <QFile>
#include <QSaveFile>

namespace brevant {

QByteArray firstInstallSettings()
{
    return QByteArray(FirstInstallIni);
}

Result<bool> writeFirstInstallSettings(const AppPaths& paths)
{
    if (Status made = paths.createDirectories(); !made.ok())
        return Result<bool>::failure(made.error());
    const QString file = paths.settingsFile();
    if (QFile::exists(file))
        return Result<bool>::success(false);
    // Written whole or not at all: a torn file would read as "no shutdown on any event".
    QSaveFile out(file);
    const QByteArray settings = firstInstallSettings();
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered) || out.write(settings) != settings.size()) {
        const QString reason = out.errorString();
        out.cancelWriting();
        return Result<bool>::failure(QStringLiteral("cannot write %1: %2").arg(file, reason));
    }
    if (!out.commit())
        return Result<bool>::failure(QStringLiteral("cannot write %1: %2").arg(file, out.errorString()));
    return Result<bool>::success(true);
}

} // namespace brevant
