#include "shutdown/SaveListController.h"

#include "config/IniFile.h"
#include "config/Settings.h"
#include "config/ValueConversion.h"
#include "records/RecordStore.h"
#include "shutdown/WindowsModel.h"

#include <limits>

namespace brevant {

SaveListController::SaveListController(Settings& settings, RecordStore& records, WindowsModel& windows,
                                       QString closeAppList, QObject* parent)
    : QObject(parent)
    , m_settings(settings)
    , m_records(records)
    , m_windows(windows)
    , m_closeAppList(std::move(closeAppList))
{}

void SaveListController::load()
{
    m_windows.show(WindowsModel::frmSave);
    ImportClosedApps();
}

int SaveListController::ImportClosedApps()
{
    if (!m_settings.closeAppFlagSet())
        return 0;

    // The count is a 16-bit number; anything else (missing, not a number, out of range) imports nothing.
    const auto count =
        conversion::wholeNumber(ReadIni(m_closeAppList, QStringLiteral("CloseApp"), QStringLiteral("Count")));
    const int n = count && *count <= std::numeric_limits<qint16>::max() ? *count : 0;
    int added = 0;
    for (int i = 1; i <= n; ++i) {
        const QString key = QString::number(i);
        const QString date = ReadIni(m_closeAppList, QStringLiteral("Date"), key);
        const QString time = ReadIni(m_closeAppList, QStringLiteral("Time"), key);
        const QString appName = ReadIni(m_closeAppList, QStringLiteral("CloseApp"), key);
        const QString savedFile = ReadIni(m_closeAppList, QStringLiteral("SaveAppFileName"), key);
        if (savedFile.isEmpty())
            continue;
        if (m_records.addCloseApp(date, time, appName, savedFile))
            ++added;
    }
    m_sortedView = true;
    m_settings.write(QStringLiteral("Schema"), QStringLiteral("CloseAppFlag"), QStringLiteral("0"));
    return added;
}

void SaveListController::pressClose()
{
    m_settings.write(QStringLiteral("Schema"), QStringLiteral("SaveList"), QStringLiteral("0"));
    m_windows.hide(WindowsModel::frmSave);
    m_windows.hide(WindowsModel::frmMain);
}

} // namespace brevant
