#include "records/ui/RecordPage.h"

#include "base/Logging.h"
#include "config/Settings.h"
#include "controls/XpCmdButton.h"
#include "shutdown/Confirmation.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlQueryModel>
#include <QTableView>
#include <QVBoxLayout>

namespace brevant {

namespace {

constexpr int TwipsPerInch = 1440;

// The grid in the colours of the skinned controls.
const char GridStyle[] = R"(
QTableView {
    background: #FFFFFF; alternate-background-color: #F5F7FA; gridline-color: #E3E7ED;
    border: 1px solid #D5DAE2; border-radius: 6px;
    selection-background-color: #2563EB; selection-color: #FFFFFF;
}
QHeaderView::section {
    background: #EEF1F5; color: #1F2937; font-weight: bold; padding: 3px 6px;
    border: none; border-right: 1px solid #D5DAE2; border-bottom: 1px solid #D5DAE2;
}
)";

} // namespace

RecordPage::Description RecordPage::logRecord()
{
    return {RecordTableId::Log, RecordList::Log,    "FrmLog",
            "MSFlexGrid1",      "CmdClearLog",      QStringLiteral("Clear  All  Logs"),
            "xpcmdbutton9",     {1200, 1200, 5900}, &Confirmation::pressClearLog};
}

RecordPage::Description RecordPage::eventRecord()
{
    return {RecordTableId::UpsEvent, RecordList::Event,  "FrmUpsEvent",
            "MSFlexGrid2",           "CmdClearUps",      QStringLiteral("Clear  All  Events"),
            "xpcmdbutton8",          {1200, 1200, 5900}, &Confirmation::pressClearUps};
}

RecordPage::Description RecordPage::closedApplications()
{
    return {RecordTableId::CloseApp, RecordList::Close,        "FrmClose",
            "MSFlexGrid3",           "CmdCloseEvent",          QStringLiteral("Clear  All  Records"),
            "xpcmdbutton7",          {1500, 1500, 4000, 5900}, &Confirmation::pressClearClose};
}

RecordPage::RecordPage(Parts parts, Description description, QWidget* parent)
    : QWidget(parent)
    , m_parts(parts)
    , m_description(std::move(description))
    , m_grid(new QTableView(this))
    , m_model(new QSqlQueryModel(this))
    , m_clear(new XpCmdButton(m_description.clearCaption, this))
    , m_help(new XpCmdButton(tr("Help"), this))
{
    setObjectName(QLatin1String(m_description.pageName));
    m_grid->setObjectName(QLatin1String(m_description.gridName));
    m_grid->setAccessibleName(RecordStore::tableName(m_description.table));
    m_grid->setModel(m_model);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->setAlternatingRowColors(true);
    m_grid->setWordWrap(false);
    m_grid->verticalHeader()->hide();
    m_grid->verticalHeader()->setDefaultSectionSize(m_grid->fontMetrics().height() + 8);
    m_grid->horizontalHeader()->setHighlightSections(false);
    m_grid->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_grid->setStyleSheet(QLatin1String(GridStyle));

    m_clear->setObjectName(QLatin1String(m_description.clearName));
    m_clear->setMinimumWidth(136);
    m_help->setObjectName(QLatin1String(m_description.helpName));
    m_help->setMinimumWidth(80);
    m_clear->setEnabled(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_help);
    buttons->addStretch();
    buttons->addWidget(m_clear);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 4, 8, 4);
    layout->addWidget(m_grid, 1);
    layout->addLayout(buttons);

    // tableChanged comes once per change, whatever its size: an import of thousands of rows is
    // one reload of the grid, not one per row (which made a large import quadratic).
    connect(&m_parts.records, &RecordStore::tableChanged, this, [this](RecordTableId table) {
        if (table == m_description.table)
            refresh();
    });
    connect(m_clear, &XpCmdButton::Click, &m_parts.confirmation, m_description.pressClear);
    connect(m_help, &XpCmdButton::Click, this, &RecordPage::helpRequested);
}

void RecordPage::open()
{
    RecordStore& store = m_parts.records;
    if (m_description.table == RecordTableId::CloseApp)
        store.useSortedCloseAppView();
    refresh();
    const Settings& settings = m_parts.settings;
    const RecordList list = m_description.list;
    store.trimToLimit(m_description.table, [&settings, list] { return settings.recordLimit(list); });
    refresh();
}

void RecordPage::refresh()
{
    const RecordStore& store = m_parts.records;
    const QString connection = store.connectionName(m_description.table);
    if (!QSqlDatabase::contains(connection)) {
        // Before the databases are open there is nothing to show and nothing to clear.
        m_clear->setEnabled(false);
        return;
    }
    m_model->setQuery(QSqlQuery(store.viewQuery(m_description.table), QSqlDatabase::database(connection)));
    if (m_model->lastError().isValid())
        qCWarning(lcUi) << "cannot show" << RecordStore::tableName(m_description.table)
                        << m_model->lastError().text();
    while (m_model->canFetchMore())
        m_model->fetchMore();
    applyColumnWidths();
    // A confirmation can never be asked to clear an empty table.
    m_clear->setEnabled(store.recordCount(m_description.table).valueOr(0) > 0);
}

void RecordPage::applyColumnWidths()
{
    const int dpi = logicalDpiX();
    for (int column = 0; column < m_description.columnTwips.size(); ++column)
        m_grid->setColumnWidth(column, m_description.columnTwips[column] * dpi / TwipsPerInch);
}

} // namespace brevant
