#include "shutdown/ui/SaveListWindow.h"

#include "base/Logging.h"
#include "controls/WindowFunctions.h"
#include "controls/XpCmdButton.h"
#include "records/RecordStore.h"
#include "shutdown/SaveListController.h"
#include "shutdown/ui/WindowParts.h"

#include <QHeaderView>
#include <QPainter>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlQueryModel>
#include <QTableView>

namespace brevant {

namespace {

constexpr QSize WindowSize(860, 420);
constexpr int Margin = 14;
// Widths of the grid's columns Date, Time, AppName and SaveAppFileName, in twips.
constexpr int ColumnTwips[] = {1500, 1500, 3000, 5900};
constexpr int TwipsPerInch = 1440;

} // namespace

SaveListWindow::SaveListWindow(SaveListController& saveList, RecordStore& records, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_saveList(saveList)
    , m_records(records)
    , m_model(new QSqlQueryModel(this))
    , m_grid(new QTableView(this))
{
    setObjectName(QStringLiteral("frmSave"));
    setWindowTitle(QStringLiteral("ALarm Message"));
    setFixedSize(WindowSize);

    createStillSkinFrame(this, QStringLiteral("Save List"));

    m_grid->setObjectName(QStringLiteral("MSFlexGrid3"));
    m_grid->setAccessibleName(QStringLiteral("Saved applications"));
    m_grid->setModel(m_model);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setAlternatingRowColors(true);
    m_grid->verticalHeader()->setDefaultSectionSize(m_grid->fontMetrics().height() + 8);
    m_grid->verticalHeader()->hide();
    m_grid->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_grid->setGeometry(Margin, TitleBand + Margin, width() - 2 * Margin,
                        height() - TitleBand - BottomBand - 2 * Margin);

    auto* close = new XpCmdButton(QStringLiteral("&Close"), this);
    close->setObjectName(QStringLiteral("xpcmdbutton1"));
    placeOnBottomBand(close, width() - Margin);

    ApplySkinFrame(this);
    SetTopMost(this, true);

    closeActsAs(
        this, [&saveList] { return saveList.isShown(); }, [&saveList] { saveList.pressClose(); });
    connect(close, &XpCmdButton::Click, &saveList, &SaveListController::pressClose);
    connect(&saveList, &SaveListController::shown, this, [this, close] {
        refresh();
        show();
        raise();
        activateWindow();
        close->setFocus(Qt::OtherFocusReason);
    });
    connect(&saveList, &SaveListController::closed, this, [this] {
        hide();
        m_model->clear(); // lets go of the database until the next show
    });
    connect(&saveList, &SaveListController::sortedViewChosen, this, [this] {
        if (isVisible())
            refresh();
    });
    connect(&records, &RecordStore::tableChanged, this, [this](RecordTableId table) {
        if (table == RecordTableId::CloseApp && isVisible())
            refresh();
    });
}

// The grid follows the table: the whole CloseApp table, by date once the window's import has run.
void SaveListWindow::refresh()
{
    const QString view = m_saveList.sortedView() ? RecordStore::CloseAppViewQuery
                                                 : m_records.viewQuery(RecordTableId::CloseApp);
    const QSqlDatabase database =
        QSqlDatabase::database(m_records.connectionName(RecordTableId::CloseApp), false);
    // A database that cannot be opened leaves the list empty; the window still works.
    m_model->setQuery(QSqlQuery(view, database));
    if (m_model->lastError().isValid())
        qCWarning(lcUi).noquote() << "the save list cannot be shown:" << m_model->lastError().text();
    const int dpi = logicalDpiX();
    for (int column = 0; column < int(std::size(ColumnTwips)); ++column)
        m_grid->setColumnWidth(column, ColumnTwips[column] * dpi / TwipsPerInch);
}

void SaveListWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor::fromRgb(Background));
}

} // namespace brevant
