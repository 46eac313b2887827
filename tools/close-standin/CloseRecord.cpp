#include "CloseRecord.h"

#include "config/IniFile.h"
#include "config/Settings.h"
#include "config/ValueConversion.h"

#include <QFile>

namespace closestandin {

namespace {

const QString Schema = QStringLiteral("Schema");

} // namespace

void recordClosedApps(const brevant::AppPaths& paths, const QList<ClosedApp>& closed)
{
    if (closed.isEmpty())
        return;
    const brevant::Settings settings(paths.settingsFile());
    const QString list = paths.closeAppList();
    int count = 0;
    if (settings.closeAppFlagSet())
        count = brevant::conversion::wholeNumber(
                    brevant::ReadIni(list, QStringLiteral("CloseApp"), QStringLiteral("Count")))
                    .value_or(0);
    else
        QFile::remove(list);

    for (const ClosedApp& app : closed) {
        const QString key = QString::number(++count);
        brevant::WriteIni(list, QStringLiteral("CloseApp"), key, app.name);
        brevant::WriteIni(list, QStringLiteral("Date"), key,
                          app.closedAt.toString(QStringLiteral("yyyy-MM-dd")));
        brevant::WriteIni(list, QStringLiteral("Time"), key,
                          app.closedAt.toString(QStringLiteral("HH:mm:ss")));
        brevant::WriteIni(list, QStringLiteral("SaveAppFileName"), key, app.commandLine);
    }
    // Count last: a reader never finds it pointing past the entries.
    brevant::WriteIni(list, QStringLiteral("CloseApp"), QStringLiteral("Count"), QString::number(count));

    brevant::WriteIni(paths.settingsFile(), Schema, QStringLiteral("CloseAppFlag"), QStringLiteral("1"));
    brevant::WriteIni(paths.settingsFile(), Schema, QStringLiteral("SaveList"), QStringLiteral("1"));
}

void requestShutdown(const brevant::AppPaths& paths)
{
    brevant::WriteIni(paths.settingsFile(), Schema, QStringLiteral("ShutDown"), QStringLiteral("1"));
}

} // namespace closestandin
