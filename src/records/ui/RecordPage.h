#pragma once

#include "config/SettingKeys.h"
#include "records/RecordStore.h"

#include <QList>
#include <QWidget>

class QSqlQueryModel;
class QTableView;

namespace brevant {

class Confirmation;
class Settings;
class XpCmdButton;

// One record page of the main window: a read-only grid that follows the table's view, the
// clear-all button (through the confirmation window) and the Help button. Opening the page
// trims the table to its limit, which is read from the settings at every comparison.
class RecordPage : public QWidget
{
    Q_OBJECT

public:
    struct Description
    {
        RecordTableId table;
        RecordList list;
        const char* pageName;
        const char* gridName;
        const char* clearName;
        QString clearCaption;
        const char* helpName;
        QList<int> columnTwips;
        void (Confirmation::*pressClear)();
    };

    // Log Record, Event Record and Closed Applications.
    static Description logRecord();
    static Description eventRecord();
    static Description closedApplications();

    // The table it shows, the settings that hold its limit, and the confirmation its clear asks.
    struct Parts
    {
        RecordStore& records;
        const Settings& settings;
        Confirmation& confirmation;
    };

    RecordPage(Parts parts, Description description, QWidget* parent = nullptr);

    // The page button's click: grid prepared, the view refreshed and trimmed to the limit.
    void open();

    RecordTableId table() const { return m_description.table; }

signals:
    void helpRequested();

private:
    void refresh();
    void applyColumnWidths();

    Parts m_parts;
    Description m_description;
    QTableView* m_grid;
    QSqlQueryModel* m_model;
    XpCmdButton* m_clear;
    XpCmdButton* m_help;
};

} // namespace brevant
