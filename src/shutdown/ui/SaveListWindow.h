#pragma once

#include <QColor>
#include <QWidget>

class QSqlQueryModel;
class QTableView;

namespace brevant {

class RecordStore;
class SaveListController;

// The save-list window (frmSave): the applications close.exe closed and saved before the last
// shutdown, shown at start when `[Schema] SaveList` asks for it. A skinned window that stays on
// top, with the CloseApp table in a read-only grid (sorted by date once an import has run) and a
// Close button that stops it from coming back at the next start. It shows and hides as the save
// list says; a close from the window manager is the Close button.
class SaveListWindow : public QWidget
{
    Q_OBJECT

public:
    static constexpr QRgb Background = qRgb(207, 207, 207);

    SaveListWindow(SaveListController& saveList, RecordStore& records, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();

    SaveListController& m_saveList;
    RecordStore& m_records;
    QSqlQueryModel* m_model;
    QTableView* m_grid;
};

} // namespace brevant
