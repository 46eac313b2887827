#include "config/AppPaths.h"

#include <QCoreApplication>
#include <QDir>

namespace brevant {

AppPaths AppPaths::fromEnvironment()
{
    const QString overridden = qEnvironmentVariable("BREVANT_APP_DIR");
    return AppPaths(overridden.isEmpty() ? QCoreApplication::applicationDirPath() : overridden);
}

AppPaths::AppPaths(QString appDir)
    : m_appDir(QDir(appDir).absolutePath())
{}

QString AppPaths::file(QStringView name) const
{
    return m_appDir + u'/' + name;
}

} // namespace brevant
