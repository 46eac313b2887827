#include "CloseRecord.h"

#include "config/IniFile.h"
#include "config/Settings.h"
#include "config/ValueConversion.h"

#include <QFile>

namespace closestandin {

using brevant::Status;

namespace {

Status writeEntry(const QString& list, const QString& key, const ClosedApp& app)
{
    namespace cal = brevant::closeapplist;
    for (const auto& [section, value] :
         {std::pair{cal::AppNameSection, app.name},
          std::pair{cal::DateSection, app.closedAt.toString(QStringLiteral("yyyy-MM-dd"))},
          std::pair{cal::TimeSection, app.closedAt.toString(QStringLiteral("HH:mm:ss"))},
          std::pair{cal::SavedFileSection, app.commandLine}}) {
        if (Status written = brevant::WriteIni(list, section.toString(), key, value); !written.ok())
            return written;
    }
    return Status::success();
}

} // namespace

Status recordClosedApps(const brevant::AppPaths& paths, const QList<ClosedApp>& closed)
{
    if (closed.isEmpty())
        return Status::success();
    const brevant::Settings settings(paths.settingsFile());
    const QString list = paths.closeAppList();
    int count = 0;
    if (settings.closeAppFlagSet())
        count = brevant::conversion::wholeNumber(brevant::ReadIni(list, brevant::closeapplist::Count))
                    .value_or(0);
    else if (QFile::exists(list) && !QFile::remove(list))
        return Status::failure(QStringLiteral("cannot remove the imported list %1").arg(list));

    for (const ClosedApp& app : closed) {
        if (Status written = writeEntry(list, QString::number(++count), app); !written.ok())
            return written;
    }
    // Count last: a reader never finds it pointing past the entries.
    if (Status written = brevant::WriteIni(list, brevant::closeapplist::Count, QString::number(count));
        !written.ok())
        return written;
    for (const brevant::IniKey flag : {brevant::key::CloseAppFlag, brevant::key::SaveList}) {
        if (Status written = brevant::WriteIni(paths.settingsFile(), flag, QStringLiteral("1"));
            !written.ok())
            return written;
    }
    return Status::success();
}

Status requestShutdown(const brevant::AppPaths& paths)
{
    return brevant::WriteIni(paths.settingsFile(), brevant::key::ShutDown, QStringLiteral("1"));
}

} // namespace closestandin
