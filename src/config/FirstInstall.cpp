#include "config/FirstInstall.h"

#include "FirstInstallData.h"

#include <QFile>
#include <QSaveFile>

namespace brevant {

QByteArray firstInstallSettings()
{
    return QByteArray(FirstInstallIni);
}

bool installDefaultSettings(const QString& file)
{
    if (QFile::exists(file))
        return true;
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    out.write(firstInstallSettings());
    return out.commit();
}

} // namespace brevant
