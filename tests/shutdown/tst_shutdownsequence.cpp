#include "EngineFixture.h"
#include "config/IniFile.h"
#include "engine/Confirmation.h"
#include "engine/WindowsModel.h"
#include "monitor/StatusDisplay.h"
#include "shutdown/ShutdownSequence.h"

#include <QFile>
#include <QTest>

using namespace brevant;
using testsupport::EngineFixture;

namespace {

// An application directory with a close.exe in it (the simulated starter only checks it is there).
bool placeCloseProgram(const EngineFixture& f)
{
    QFile closeProgram(f.paths().closeProgram());
    return closeProgram.open(QIODevice::WriteOnly);
}

} // namespace

class TestShutdownSequence : public QObject
{
    Q_OBJECT

private slots:
    void yesShutsDownThroughTheHandshake();
    void serialLinkRaisesDtrOnce();
    void closeProgramGivesTheHandshake();
    void missingCloseProgramDoesNotLoseTheShutdown();
    void oneWindowForShutdownAndClearing();
    void noDropsEveryJob();
    void watcherActsOnOne_data();
    void watcherActsOnOne();
};

void TestShutdownSequence::yesShutsDownThroughTheHandshake()
{
    EngineFixture f({{QStringLiteral("Mscomm/ComboPort"), QStringLiteral("0")},
                     {QStringLiteral("OSEvent/Saveapllication"), QStringLiteral("0")}});
    f.start();
    f.engine().windows().show(WindowsModel::frmMain);
    Confirmation& s = f.engine().confirmation();
    s.pressShutdownButton();
    QCOMPARE(s.questionText(), Confirmation::ShutdownQuestion);
    s.pressYes();
    QVERIFY(!s.isLoaded());
    QVERIFY(!f.engine().windows().isVisible(WindowsModel::frmMain));
    QCOMPARE(f.get(QStringLiteral("Schema/ShutDown")), QStringLiteral("1"));
    f.advance(99);
    QCOMPARE(f.platform().powerOff.count(), 0);
    f.advance(1);
    QCOMPARE(f.get(QStringLiteral("Schema/ShutDown")), QStringLiteral("0"));
    // UPS off three times, 10 ms apart, before the system goes down.
    QCOMPARE(f.platform().halvic.upsOffTimes(), (QList<qint64>{100, 110, 120}));
    QCOMPARE(f.platform().powerOff.count(), 1);
    f.advance(1000); // the watcher stays armed but finds nothing more to do
    QCOMPARE(f.platform().powerOff.count(), 1);
    QVERIFY(f.engine().shutdown().watcherArmed());
}

void TestShutdownSequence::serialLinkRaisesDtrOnce()
{
    EngineFixture f({{QStringLiteral("Mscomm/ComboPort"), QStringLiteral("1")}});
    f.start();
    QVERIFY(!f.platform().serialPort.dtr());
    f.engine().shutdown().RequestShutdown(ShutdownSequence::Origin::ConfirmationWindow);
    f.advance(100);
    QCOMPARE(f.platform().serialPort.dtrRaiseCount(), 1);
    QVERIFY(f.platform().serialPort.dtr());
    QCOMPARE(f.platform().halvic.upsOffCount(), 0);
    QCOMPARE(f.platform().powerOff.count(), 1);
}

void TestShutdownSequence::closeProgramGivesTheHandshake()
{
    EngineFixture f({{QStringLiteral("OSEvent/Saveapllication"), QStringLiteral("1")}});
    QVERIFY(placeCloseProgram(f));
    f.start();
    f.engine().shutdown().RequestShutdown(ShutdownSequence::Origin::ConfirmationWindow);
    QCOMPARE(f.platform().processStarter.started(), QStringList{f.paths().closeProgram()});
    f.advance(60000);
    QCOMPARE(f.platform().powerOff.count(), 0);
    QCOMPARE(f.get(QStringLiteral("Schema/ShutDown")), QString());
    // close.exe has saved everything and gives the handshake.
    WriteIni(f.paths().settingsFile(), QStringLiteral("Schema"), QStringLiteral("ShutDown"),
             QStringLiteral("1"));
    f.advance(100);
    QCOMPARE(f.platform().powerOff.count(), 1);
}

void TestShutdownSequence::missingCloseProgramDoesNotLoseTheShutdown()
{
    EngineFixture f({{QStringLiteral("OSEvent/Saveapllication"), QStringLiteral("1")}});
    f.start();
    f.engine().shutdown().RequestShutdown(ShutdownSequence::Origin::ConfirmationWindow);
    QVERIFY(f.platform().processStarter.started().isEmpty());
    QCOMPARE(f.get(QStringLiteral("Schema/ShutDown")), QStringLiteral("1"));
    QVERIFY(
        f.messages(RecordTableId::Log).last().startsWith(QStringLiteral("close.exe could not be started")));
    f.advance(100);
    QCOMPARE(f.platform().powerOff.count(), 1);
}

void TestShutdownSequence::oneWindowForShutdownAndClearing()
{
    EngineFixture f;
    f.start();
    Confirmation& s = f.engine().confirmation();
    f.engine().records().appendRecord(RecordTableId::UpsEvent, QStringLiteral("x"));
    s.pressShutdownButton();
    s.pressClearLog();
    QCOMPARE(s.questionText(), Confirmation::ShutdownQuestion);
    s.pressYes();
    QVERIFY(f.messages(RecordTableId::Log).isEmpty());
    QCOMPARE(f.messages(RecordTableId::UpsEvent), QStringList{QStringLiteral("x")});
    QCOMPARE(f.get(QStringLiteral("Schema/ShutDown")), QStringLiteral("1"));

    s.pressClearUps();
    QCOMPARE(s.questionText(), Confirmation::ClearQuestion);
    s.pressYes();
    QVERIFY(f.messages(RecordTableId::UpsEvent).isEmpty());
}

void TestShutdownSequence::noDropsEveryJob()
{
    EngineFixture f;
    f.start();
    Confirmation& s = f.engine().confirmation();
    s.pressShutdownButton();
    s.pressClearLog();
    s.pressClearClose();
    s.pressNo();
    QVERIFY(!s.askShutdown() && !s.askClearLog() && !s.askClearUps() && !s.askClearClose());
    QVERIFY(!s.isLoaded());
    QCOMPARE(f.messages(RecordTableId::Log), QStringList{QStringLiteral("Program start")});
    f.advance(1000);
    QCOMPARE(f.platform().powerOff.count(), 0);
    QVERIFY(!f.engine().shutdown().watcherArmed());
}

void TestShutdownSequence::watcherActsOnOne_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("acts");
    QTest::newRow("1") << "1" << true;
    QTest::newRow("01") << "01" << true;
    QTest::newRow("1.0") << "1.0" << true;
    QTest::newRow("0") << "0" << false;
    QTest::newRow("2") << "2" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("yes") << "yes" << false;
}

void TestShutdownSequence::watcherActsOnOne()
{
    QFETCH(QString, value);
    QFETCH(bool, acts);
    EngineFixture f({{QStringLiteral("OSEvent/Saveapllication"), QStringLiteral("1")}});
    QVERIFY(placeCloseProgram(f));
    f.start();
    f.engine().shutdown().RequestShutdown(ShutdownSequence::Origin::ConfirmationWindow);
    f.set(QStringLiteral("Schema/ShutDown"), value);
    f.advance(100);
    QCOMPARE(f.platform().powerOff.count(), acts ? 1 : 0);
    QCOMPARE(f.get(QStringLiteral("Schema/ShutDown")), acts ? QStringLiteral("0") : value);
}

QTEST_GUILESS_MAIN(TestShutdownSequence)
#include "tst_shutdownsequence.moc"
