#pragma once

#include <QObject>
#include <QString>

namespace brevant {

class RecordStore;
class Settings;

// The save-list window's behaviour: at start it takes over the applications close.exe listed in
// CloseApp.ini into the CloseApp table (once, guarded by `[Schema] CloseAppFlag` and by the list's
// fingerprint kept with the rows), and its Close button stops it from being shown at the next
// start. The import reads the file once and adds all rows in one transaction.
class SaveListController : public QObject
{
    Q_OBJECT

public:
    SaveListController(Settings& settings, RecordStore& records, QString closeAppList,
                       QObject* parent = nullptr);

    // Loads and shows the window: imports the listed applications when the flag asks for it.
    void load();
    void pressClose();

    // Number of rows the import added. When the rows could not be stored the flag stays set, for
    // the next start.
    int ImportClosedApps();

    // After an import the window lists the table sorted by date; otherwise in stored order.
    bool sortedView() const { return m_sortedView; }

    // Between the window's show at start and its Close.
    bool isShown() const { return m_shown; }

signals:
    void shown();
    // The import has run: the list now shows the whole table by date.
    void sortedViewChosen();
    // Close: the window unloads and the main window hides; the program stays in the notification area.
    void closed();

private:
    Settings& m_settings;
    RecordStore& m_records;
    QString m_closeAppList;
    bool m_sortedView = false;
    bool m_shown = false;
};

} // namespace brevant
