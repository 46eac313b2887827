#include "shutdown/SaveListController.h"

#include "config/IniFile.h"
#include "config/Settings.h"
#include "config/ValueConversion.h"
#include "records/RecordStore.h"

#include <QCryptographicHash>
#include <QFile>
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
    // Shown first, as the start-up asks for it; the import that follows refreshes its list before
    // the window is first painted.
    m_shown = true;
    emit shown();
    ImportClosedApps();
}

int SaveListController::ImportClosedApps()
{
    if (!m_settings.closeAppFlagSet())
        return 0;

    // Read once: the whole list is looked up in memory, and its fingerprint is taken from the very
    // bytes imported. A missing file is an empty list; a FIFO, a device or a huge file is refused
    // (logged by the reader) and imports nothing, so that it cannot stall the start.
    const Result<QByteArray> read = readSaveList(m_closeAppList);
    const QByteArray text = read.valueOr({});
    const IniSnapshot list = IniSnapshot::fromText(text);
    // The count is a 16-bit number; anything else (missing, not a number, out of range) imports nothing.
    const auto count = conversion::wholeNumber(list.value(closeapplist::Count));
    const int n = count && *count <= std::numeric_limits<qint16>::max() ? *count : 0;
    QList<CloseAppRow> rows;
    for (int i = 1; i <= n; ++i) {
        const QString key = QString::number(i);
        CloseAppRow row{list.value(closeapplist::DateSection.toString(), key),
                        list.value(closeapplist::TimeSection.toString(), key),
                        list.value(closeapplist::AppNameSection.toString(), key),
                        list.value(closeapplist::SavedFileSection.toString(), key)};
        if (!row.saveAppFileName.isEmpty())
            rows.append(std::move(row));
    }

    int added = 0;
    if (!rows.isEmpty()) {
        const Result<int> imported = m_records.importCloseApps(
            QCryptographicHash::hash(text, QCryptographicHash::Sha256).toHex(), rows);
        // Logged by the store; the flag stays set so that the next start tries again.
        if (!imported.ok())
            return 0;
        added = imported.value();
    }
    m_sortedView = true;
    emit sortedViewChosen();
    // A failed write is logged by Settings; the list's fingerprint keeps it from a second import.
    static_cast<void>(m_settings.write(key::CloseAppFlag, QStringLiteral("0")));
    return added;
}

void SaveListController::pressClose()
{
    // A failed write is logged by Settings; the window closes either way.
    static_cast<void>(m_settings.write(key::SaveList, QStringLiteral("0")));
    m_shown = false;
    emit closed();
}

} // namespace brevant
