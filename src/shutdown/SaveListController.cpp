#include "shutdown/SaveListController.h"

#include "config/IniFile.h"
#include "config/Settings.h"
#include "config/ValueConversion.h"
#include "records/RecordStore.h"

#include <limits>

namespace brevant {

SaveListController::SaveListController(Settings& settings, RecordStore& records, QString closeAppList,
                                       QObject* parent)
    : QObject(parent)
    , m_settings(settings)
    , m_records(records)
    , m_closeAppList(std::move(closeAppList))
{}

void SaveListController::load()
{
    emit shown();
    ImportClosedApps();
}

int SaveListController::ImportClosedApps()
{
    if (!m_settings.closeAppFlagSet())
        return 0;

    // The count is a 16-bit number; anything else (missing, not a number, out of range) imports nothing.
    const auto count = conversion::wholeNumber(ReadIni(m_closeAppList, closeapplist::Count));
    const int n = count && *count <= std::numeric_limits<qint16>::max() ? *count : 0;
    int added = 0;
    for (int i = 1; i <= n; ++i) {
        const QString key = QString::number(i);
        const QString date = ReadIni(m_closeAppList, closeapplist::DateSection.toString(), key);
        const QString time = ReadIni(m_closeAppList, closeapplist::TimeSection.toString(), key);
        const QString appName = ReadIni(m_closeAppList, closeapplist::AppNameSection.toString(), key);
        const QString savedFile = ReadIni(m_closeAppList, closeapplist::SavedFileSection.toString(), key);
        if (savedFile.isEmpty())
            continue;
        if (m_records.addCloseApp(date, time, appName, savedFile))
            ++added;
    }
    m_sortedView = true;
    static_cast<void>(m_settings.write(key::CloseAppFlag, QStringLiteral("0")));
    return added;
}

void SaveListController::pressClose()
{
    // A failed write is logged by Settings; the window closes either way.
    static_cast<void>(m_settings.write(key::SaveList, QStringLiteral("0")));
    emit closed();
}

} // namespace brevant
