// The three record pages: grids that follow their tables, the trim when a page opens, the
// sorted closed-applications view and the clear buttons through the confirmation.
#include "EngineFixture.h"
#include "controls/XpCmdButton.h"
#include "records/ui/RecordPage.h"
#include "shutdown/Confirmation.h"

#include <QAbstractItemModel>
#include <QDate>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

using namespace brevant;
using testsupport::EngineFixture;

Q_DECLARE_METATYPE(brevant::RecordPage::Description)
Q_DECLARE_METATYPE(brevant::IniKey)

namespace {

// A record page shown on a started engine; the grid's Message (or AppName) column; its clear button.
struct Page
{
    Page(EngineFixture& f, const RecordPage::Description& description)
        : page({f.engine().records(), f.engine().settings(), f.engine().confirmation()}, description)
        , clear(page.findChild<XpCmdButton*>(QLatin1String(description.clearName)))
    {
        page.show();
    }
    QStringList texts() const
    {
        const QAbstractItemModel* model = page.findChild<QTableView*>()->model(); // MSFlexGrid1, 2 or 3
        QStringList texts;
        for (int row = 0; row < model->rowCount(); ++row)
            texts.append(model->index(row, 2).data().toString());
        return texts;
    }
    RecordPage page;
    XpCmdButton* clear;
};

} // namespace

class TestRecordPage : public QObject
{
    Q_OBJECT

private slots:
    void openingTrimsToTheLimit_data()
    {
        QTest::addColumn<RecordPage::Description>("description");
        QTest::addColumn<IniKey>("limitKey");
        QTest::addColumn<QString>("limit"); // a fraction counts whole
        QTest::addColumn<QString>("clearName");
        QTest::newRow("Log Record") << RecordPage::logRecord() << key::Logcount << "10"
                                    << "CmdClearLog";
        QTest::newRow("Event Record") << RecordPage::eventRecord() << key::Eventcount << "10"
                                      << "CmdClearUps";
        QTest::newRow("Closed Applications") << RecordPage::closedApplications() << key::Closecount << "10.5"
                                             << "CmdCloseEvent";
    }

    // The oldest go first; the rest keep their order.
    void openingTrimsToTheLimit()
    {
        QFETCH(RecordPage::Description, description);
        QFETCH(IniKey, limitKey);
        QFETCH(QString, limit);
        EngineFixture f({{limitKey, limit}});
        Page p(f, description);
        QVERIFY(p.clear);
        QTEST(p.clear->objectName(), "clearName");
        f.start();
        RecordStore& store = f.engine().records();
        for (int i = store.recordCount(description.table).valueOr(-1); i < 25; ++i) {
            const QString text = QStringLiteral("record %1").arg(i, 2, 10, QLatin1Char('0'));
            if (description.table == RecordTableId::CloseApp)
                QVERIFY(store.addCloseApp(QStringLiteral("2024-01-01"), QStringLiteral("08:00:00"), text, {})
                            .ok());
            else
                store.appendRecord(description.table, text);
        }
        p.page.open();
        QCOMPARE(store.recordCount(description.table).valueOr(-1), 10);
        QCOMPARE(p.texts().first() + u'|' + p.texts().last(), QStringLiteral("record 15|record 24"));
        QVERIFY(p.clear->isEnabled());
    }

    // A mains failure recorded by the poll shows at once on the open page.
    void gridFollowsTheTable()
    {
        EngineFixture f({{key::Recordlog(EventSection::OnBattery), QStringLiteral("1")}});
        Page p(f, RecordPage::eventRecord());
        f.start();
        p.page.open();
        QVERIFY(p.texts().isEmpty() && !p.clear->isEnabled());
        f.platform().halvic.setUpsState(SimulatedHalvic::UpsState::OnBattery);
        f.tick();
        QCOMPARE(p.texts(), QStringList{QStringLiteral("Attention!! System Power Failed")});
        QVERIFY(p.clear->isEnabled());
    }

    // close.exe's list of thousands of entries is one reload of the grid, not one per entry (which
    // made the import quadratic: the first poll came after minutes, and SIGTERM went unheard). The
    // grid shows the entries by date, not in the order they came.
    void importReloadsTheGridOnceInDateOrder()
    {
        EngineFixture f;
        Page p(f, RecordPage::closedApplications());
        f.start();
        p.page.open();
        QList<CloseAppRow> rows;
        for (int i = 1; i <= 500; ++i)
            rows.append({QDate(2026, 12, 1).addDays(-i).toString(Qt::ISODate), QStringLiteral("10:00:00"),
                         QStringLiteral("app %1").arg(i), QStringLiteral("/home/user/%1.odt").arg(i)});
        QSignalSpy reloads(p.page.findChild<QTableView*>()->model(), &QAbstractItemModel::modelReset);
        QCOMPARE(f.engine().records().importCloseApps("list", rows).valueOr(-1), 500);
        QCOMPARE(reloads.size(), 1);
        QCOMPARE(p.texts().size(), 500);
        QCOMPARE(p.texts().first() + u'|' + p.texts().last(), QStringLiteral("app 500|app 1"));
    }

    // Nothing is cleared before the answer; NO keeps every table, one YES clears every table asked
    // about while the question was open.
    void clearAsksFirst()
    {
        EngineFixture f;
        Page log(f, RecordPage::logRecord());
        Page events(f, RecordPage::eventRecord());
        f.start(); // "Program start"
        f.engine().records().appendRecord(RecordTableId::UpsEvent,
                                          QStringLiteral("System AC Power Recovered"));
        log.page.open();
        events.page.open();
        Confirmation& question = f.engine().confirmation();
        for (bool yes : {false, true}) {
            QTest::mouseClick(log.clear, Qt::LeftButton);
            QTest::mouseClick(events.clear, Qt::LeftButton); // the question is still open
            QVERIFY(question.isLoaded() && question.askClearLog());
            QCOMPARE(question.questionText(), Confirmation::ClearQuestion);
            QCOMPARE(log.texts().size() + events.texts().size(), 2);
            yes ? question.pressYes() : question.pressNo();
            QVERIFY(!question.askClearLog());
            QCOMPARE(log.texts().size() + events.texts().size(), yes ? 0 : 2);
            QCOMPARE(log.clear->isEnabled() || events.clear->isEnabled(), !yes);
        }
    }
};

QTEST_MAIN(TestRecordPage)
#include "tst_recordpage.moc"
