#include "EngineFixture.h"
#include "config/IniFile.h"
#include "engine/Confirmation.h"
#include "engine/WindowsModel.h"
#include "monitor/StatusDisplay.h"
#include "shutdown/ShutdownSequence.h"
#include "shutdown/SystemShutdown.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
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
    void onlyCloseProgramsHandshakeShutsDown();
    void unwritableHandOverStillShutsDown_data();
    void unwritableHandOverStillShutsDown();
    void refusedPowerOffNeverCutsThePowerEarly();
    void exitWaitsForTheUpsOffUnderWay();
    void missingCloseProgramDoesNotLoseTheShutdown();
    void oneWindowForShutdownAndClearing();
    void noDropsEveryJob();
    void watcherActsOnOne_data();
    void watcherActsOnOne();
};

void TestShutdownSequence::yesShutsDownThroughTheHandshake()
{
    EngineFixture f({{key::ComboPort, QStringLiteral("0")}, {key::Saveapllication, QStringLiteral("0")}});
    f.start();
    f.engine().windows().show(WindowsModel::frmMain);
    Confirmation& s = f.engine().confirmation();
    s.pressShutdownButton();
    QCOMPARE(s.questionText(), Confirmation::ShutdownQuestion);
    s.pressYes();
    QVERIFY(!s.isLoaded());
    QVERIFY(!f.engine().windows().isVisible(WindowsModel::frmMain));
    QCOMPARE(f.get(key::ShutDown), QStringLiteral("1"));
    f.advance(99);
    QCOMPARE(f.platform().powerOff.count(), 0);
    f.advance(1);
    QCOMPARE(f.get(key::ShutDown), QStringLiteral("0"));
    // UPS off three times, 10 ms apart, before the system goes down.
    QCOMPARE(f.platform().halvic.upsOffTimes(), (QList<qint64>{100, 110, 120}));
    QCOMPARE(f.platform().powerOff.count(), 1);
    f.advance(1000); // the watcher stays armed but finds nothing more to do
    QCOMPARE(f.platform().powerOff.count(), 1);
    QVERIFY(f.engine().shutdown().watcherArmed());
}

void TestShutdownSequence::serialLinkRaisesDtrOnce()
{
    EngineFixture f({{key::ComboPort, QStringLiteral("1")}});
    f.start();
    QVERIFY(!f.platform().serialPort.dtr());
    f.engine().shutdown().RequestShutdown(ShutdownSequence::Origin::ConfirmationWindow);
    f.advance(100);
    QCOMPARE(f.platform().serialPort.dtrRaiseCount(), 1);
    QVERIFY(f.platform().serialPort.dtr());
    QCOMPARE(f.platform().halvic.upsOffCount(), 0);
    QCOMPARE(f.platform().powerOff.count(), 1);
}

void TestShutdownSequence::onlyCloseProgramsHandshakeShutsDown()
{
    // A "1" left behind by a crash between a hand-over and its reset must not shut down before
    // close.exe has saved anything.
    EngineFixture f({{key::Saveapllication, QStringLiteral("1")}, {key::ShutDown, QStringLiteral("1")}});
    QVERIFY(placeCloseProgram(f));
    f.start();
    f.engine().shutdown().RequestShutdown(ShutdownSequence::Origin::ConfirmationWindow);
    QCOMPARE(f.platform().processStarter.started(), QStringList{f.paths().closeProgram()});
    QCOMPARE(f.get(key::ShutDown), QStringLiteral("0"));
    f.advance(60000);
    QCOMPARE(f.platform().powerOff.count(), 0);
    // close.exe has saved everything and gives the handshake.
    f.set(key::ShutDown, QStringLiteral("1"));
    f.advance(100);
    QCOMPARE(f.platform().powerOff.count(), 1);
}

void TestShutdownSequence::unwritableHandOverStillShutsDown_data()
{
    QTest::addColumn<bool>("saveApplications");
    QTest::newRow("hand-over written by the program") << false;
    QTest::newRow("hand-over cleared before close.exe") << true;
}

void TestShutdownSequence::unwritableHandOverStillShutsDown()
{
    QFETCH(bool, saveApplications);
    EngineFixture f({{key::Saveapllication, saveApplications ? QStringLiteral("1") : QStringLiteral("0")}});
    QVERIFY(placeCloseProgram(f));
    f.start();
    // The settings file turns unwritable (read-only directory, full disk): a directory in its
    // place makes every write fail, for root too.
    QVERIFY(QFile::remove(f.paths().settingsFile()));
    QVERIFY(QDir(f.paths().configDir()).mkpath(QStringLiteral("UpsConfigure.ini")));
    f.engine().shutdown().RequestShutdown(ShutdownSequence::Origin::ConfirmationWindow);
    QVERIFY(f.platform().processStarter.started().isEmpty());
    QCOMPARE(f.platform().halvic.upsOffCount(), 3);
    QCOMPARE(f.platform().powerOff.count(), 1);
    QVERIFY(f.messages(RecordTableId::Log)
                .contains(QStringLiteral("Shutdown hand-over not written: shutdown without it")));
    f.advance(1000);
    QCOMPARE(f.platform().powerOff.count(), 1);
}

void TestShutdownSequence::refusedPowerOffNeverCutsThePowerEarly()
{
    EngineFixture f;
    f.start();
    SimulatedPowerOff& powerOff = f.platform().powerOff;
    powerOff.permission = Status::failure(QStringLiteral("logind answers \"challenge\""));
    f.engine().shutdown().RequestShutdown(ShutdownSequence::Origin::AlarmWindow);
    f.advance(100);
    // Not allowed: the UPS stays on, the user is told once, the refusal is recorded once.
    QCOMPARE(f.platform().halvic.upsOffCount(), 0);
    QCOMPARE(powerOff.count(), 0);
    QCOMPARE(f.platform().messages.shown().size(), 1);
    QVERIFY(f.platform().messages.shown().first().contains(u"challenge"));
    f.advance(3 * SystemShutdown::RetryIntervalMs);
    QCOMPARE(f.platform().messages.shown().size(), 1);
    QCOMPARE(f.messages(RecordTableId::Log).filter(u"Shutdown refused").size(), 1);

    // Allowed now, but the request itself is refused: the UPS is told once, the power-off retried.
    powerOff.permission = Status::success();
    powerOff.answer = Status::failure(QStringLiteral("an inhibitor blocks it"));
    f.advance(SystemShutdown::RetryIntervalMs);
    QCOMPARE(f.platform().halvic.upsOffCount(), 3);
    QCOMPARE(powerOff.count(), 1);
    QCOMPARE(f.platform().messages.shown().size(), 2);
    powerOff.answer = Status::success();
    f.advance(SystemShutdown::RetryIntervalMs);
    QCOMPARE(powerOff.count(), 2);
    QCOMPARE(f.platform().halvic.upsOffCount(), 3);
    f.advance(3 * SystemShutdown::RetryIntervalMs);
    QCOMPARE(powerOff.count(), 2);
}

void TestShutdownSequence::exitWaitsForTheUpsOffUnderWay()
{
    EngineFixture f;
    f.start();
    QSignalSpy exited(&f.engine(), &MonitorEngine::exited);
    f.engine().shutdown().RequestShutdown(ShutdownSequence::Origin::AlarmWindow);
    // SIGTERM arrives at 105 ms, inside the 10 ms waits between the UPS-off commands.
    auto exitRequest = f.platform().scheduler.createTimer(105, [&f] { f.engine().requestExit(); });
    exitRequest->start();
    f.advance(100);
    exitRequest->stop();
    QCOMPARE(f.platform().halvic.upsOffTimes(), (QList<qint64>{100, 110, 120}));
    QCOMPARE(f.platform().powerOff.count(), 1);
    QCOMPARE(exited.size(), 1);
    const auto appended = f.takeAppended();
    QVERIFY(!appended.isEmpty());
    QCOMPARE(appended.last().second, QStringLiteral("Program quit"));
    QVERIFY(!f.platform().halvic.deviceOpen());
}

void TestShutdownSequence::missingCloseProgramDoesNotLoseTheShutdown()
{
    EngineFixture f({{key::Saveapllication, QStringLiteral("1")}});
    f.start();
    f.engine().shutdown().RequestShutdown(ShutdownSequence::Origin::ConfirmationWindow);
    QVERIFY(f.platform().processStarter.started().isEmpty());
    QCOMPARE(f.get(key::ShutDown), QStringLiteral("1"));
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
    QCOMPARE(f.get(key::ShutDown), QStringLiteral("1"));

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
    EngineFixture f({{key::Saveapllication, QStringLiteral("1")}});
    QVERIFY(placeCloseProgram(f));
    f.start();
    f.engine().shutdown().RequestShutdown(ShutdownSequence::Origin::ConfirmationWindow);
    f.set(key::ShutDown, value);
    f.advance(100);
    QCOMPARE(f.platform().powerOff.count(), acts ? 1 : 0);
    QCOMPARE(f.get(key::ShutDown), acts ? QStringLiteral("0") : value);
}

QTEST_GUILESS_MAIN(TestShutdownSequence)
#include "tst_shutdownsequence.moc"
