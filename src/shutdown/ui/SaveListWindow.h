#pragma once

#include <QColor>
#include <QWidget>

class QSqlQueryModel;
class QTableView;

namespace brevant {

class MonitorEngine;

// The save-list window (frmSave): the applications close.exe closed and saved before the last
// shutdown, shown at start when `[Schema] SaveList` asks for it. A skinned window that stays on
// top, with the CloseApp table in a read-only grid (sorted by date once an import has run) and a
// Close button that stops it from coming back at the next start. It shows and hides as the
// engine's windows model says; a close from the window manager is the Close button.
class SaveListWindow : public QWidget
{
    Q_OBJECT

public:
    static constexpr QRgb Background = qRgb(207, 207, 207);

    explicit SaveListWindow(MonitorEngine& engine, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();

    MonitorEngine& m_engine;
    QSqlQueryModel* m_model;
    QTableView* m_grid;
};

} // namespace brevant
