#pragma once

#include <QObject>
#include <QString>

namespace brevant {

class RecordStore;
class Settings;

// The save-list window's behaviour: at start it takes over the applications close.exe listed in
// CloseApp.ini into the CloseApp table (once, guarded by `[Schema] CloseAppFlag`), and its Close
// button stops it from being shown at the next start.
class SaveListController : public QObject
{
    Q_OBJECT

public:
    SaveListController(Settings& settings, RecordStore& records, QString closeAppList,
                       QObject* parent = nullptr);

    // Loads and shows the window: imports the listed applications when the flag asks for it.
    void load();
    void pressClose();

    // Number of rows the last import added.
    int ImportClosedApps();

    // After an import the window lists the table sorted by date; otherwise in stored order.
    bool sortedView() const { return m_sortedView; }

signals:
    void shown();
    // Close: the window unloads and the main window hides; the program stays in the notification area.
    void closed();

private:
    Settings& m_settings;
    RecordStore& m_records;
    QString m_closeAppList;
    bool m_sortedView = false;
};

} // namespace brevant
