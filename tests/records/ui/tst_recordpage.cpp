#include "EngineFixture.h"
#include "controls/XpCmdButton.h"
#include "engine/Confirmation.h"
#include "records/ui/RecordPage.h"

#include <QAbstractItemModel>
#include <QRegularExpression>
#include <QTableView>
#include <QTest>

using namespace brevant;
using testsupport::EngineFixture;

Q_DECLARE_METATYPE(brevant::RecordPage::Description)
Q_DECLARE_METATYPE(brevant::IniKey)

// The three record pages: grids that follow their tables, the trim when a page opens, the
// sorted closed-applications view and the clear buttons through the confirmation.
class TestRecordPage : public QObject
{
    Q_OBJECT

private slots:
    void openingTrimsToTheLimit_data();
    void openingTrimsToTheLimit();
    void gridFollowsTheTable();
    void closedApplicationsInDateOrder();
    void clearAsksFirst_data();
    void clearAsksFirst();
    void oneYesClearsEveryAskedTable();
};

namespace {

QTableView* grid(const RecordPage& page)
{
    return page.findChildren<QTableView*>(QRegularExpression(QStringLiteral("^MSFlexGrid[123]$"))).value(0);
}

XpCmdButton* clearButton(const RecordPage& page)
{
    return page
        .findChildren<XpCmdButton*>(QRegularExpression(QStringLiteral("^Cmd(ClearLog|ClearUps|CloseEvent)$")))
        .value(0);
}

QStringList column(const QTableView& view, int column)
{
    QStringList texts;
    for (int row = 0; row < view.model()->rowCount(); ++row)
        texts.append(view.model()->index(row, column).data().toString());
    return texts;
}

void fill(EngineFixture& f, RecordTableId table, int count)
{
    for (int i = 0; i < count; ++i) {
        if (table == RecordTableId::CloseApp)
            f.engine().records().addCloseApp(QStringLiteral("2024-01-%1").arg(i + 1, 2, 10, QLatin1Char('0')),
                                             QStringLiteral("08:00:00"), QStringLiteral("app%1").arg(i),
                                             QStringLiteral("file%1").arg(i));
        else
            f.engine().records().appendRecord(table, QStringLiteral("record %1").arg(i));
    }
}

} // namespace

void TestRecordPage::openingTrimsToTheLimit_data()
{
    QTest::addColumn<RecordPage::Description>("description");
    QTest::addColumn<IniKey>("limitKey");
    QTest::newRow("Log Record") << RecordPage::logRecord() << key::Logcount;
    QTest::newRow("Event Record") << RecordPage::eventRecord() << key::Eventcount;
    QTest::newRow("Closed Applications") << RecordPage::closedApplications() << key::Closecount;
}

void TestRecordPage::openingTrimsToTheLimit()
{
    QFETCH(RecordPage::Description, description);
    QFETCH(IniKey, limitKey);

    EngineFixture f({{limitKey, QStringLiteral("10")}});
    RecordPage page(f.engine(), description);
    page.show();
    f.start();
    const int before = f.engine().records().recordCount(description.table);
    fill(f, description.table, 25 - before);
    QCOMPARE(f.engine().records().recordCount(description.table), 25);
    const QList<QStringList> before25 = f.engine().records().rows(description.table);

    page.open();
    QCOMPARE(f.engine().records().recordCount(description.table), 10);
    QTableView* view = grid(page);
    QVERIFY(view);
    QCOMPARE(view->model()->rowCount(), 10);
    // The oldest went first; the rest keep their order.
    QStringList newest;
    for (const QStringList& row : before25.mid(15))
        newest.append(row.value(2));
    QCOMPARE(column(*view, 2), newest);
    QVERIFY(clearButton(page)->isEnabled());
    QCOMPARE(view->editTriggers(), QAbstractItemView::NoEditTriggers);
}

void TestRecordPage::gridFollowsTheTable()
{
    EngineFixture f({{key::Logcount, QStringLiteral("100")}});
    RecordPage page(f.engine(), RecordPage::eventRecord());
    page.show();
    f.start();
    page.open();
    QTableView* view = grid(page);
    QCOMPARE(view->model()->rowCount(), 0);
    QVERIFY(!clearButton(page)->isEnabled());

    // A mains failure recorded by the poll shows at once on the open page.
    f.set(key::Recordlog(EventSection::OnBattery), QStringLiteral("1"));
    f.platform().halvic.setUpsState(SimulatedHalvic::UpsState::OnBattery);
    f.tick();
    QCOMPARE(column(*view, 2), QStringList{QStringLiteral("Attention!! System Power Failed")});
    QVERIFY(clearButton(page)->isEnabled());
}

void TestRecordPage::closedApplicationsInDateOrder()
{
    EngineFixture f;
    RecordPage page(f.engine(), RecordPage::closedApplications());
    f.start();
    RecordStore& store = f.engine().records();
    store.addCloseApp(QStringLiteral("2024-03-02"), QStringLiteral("10:00:00"), QStringLiteral("late"), {});
    store.addCloseApp(QStringLiteral("2024-01-05"), QStringLiteral("10:00:00"), QStringLiteral("early"), {});
    page.open();
    QCOMPARE(column(*grid(page), 2), (QStringList{QStringLiteral("early"), QStringLiteral("late")}));
}

void TestRecordPage::clearAsksFirst_data()
{
    QTest::addColumn<bool>("yes");
    QTest::newRow("YES clears") << true;
    QTest::newRow("NO keeps") << false;
}

void TestRecordPage::clearAsksFirst()
{
    QFETCH(bool, yes);
    EngineFixture f;
    RecordPage page(f.engine(), RecordPage::logRecord());
    page.show();
    f.start(); // "Program start"
    page.open();
    XpCmdButton* clear = clearButton(page);
    QVERIFY(clear->isEnabled());

    QTest::mouseClick(clear, Qt::LeftButton);
    Confirmation& question = f.engine().confirmation();
    QVERIFY(question.isLoaded());
    QVERIFY(question.askClearLog());
    QCOMPARE(question.questionText(), Confirmation::ClearQuestion);
    QCOMPARE(grid(page)->model()->rowCount(), 1); // nothing happens before the answer

    yes ? question.pressYes() : question.pressNo();
    QCOMPARE(grid(page)->model()->rowCount(), yes ? 0 : 1);
    QCOMPARE(clear->isEnabled(), !yes);
    QVERIFY(!question.askClearLog());
}

void TestRecordPage::oneYesClearsEveryAskedTable()
{
    EngineFixture f;
    RecordPage log(f.engine(), RecordPage::logRecord());
    RecordPage events(f.engine(), RecordPage::eventRecord());
    log.show();
    events.show();
    f.start();
    f.engine().records().appendRecord(RecordTableId::UpsEvent, QStringLiteral("System AC Power Recovered"));
    log.open();
    events.open();
    QTest::mouseClick(clearButton(log), Qt::LeftButton);
    QTest::mouseClick(clearButton(events), Qt::LeftButton); // the question is still open
    f.engine().confirmation().pressYes();
    QCOMPARE(f.engine().records().recordCount(RecordTableId::Log), 0);
    QCOMPARE(f.engine().records().recordCount(RecordTableId::UpsEvent), 0);
    QVERIFY(!clearButton(log)->isEnabled());
    QVERIFY(!clearButton(events)->isEnabled());
}

QTEST_MAIN(TestRecordPage)
#include "tst_recordpage.moc"
