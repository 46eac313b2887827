// From the mains failure to the power-off: the countdown, the hand-over to close.exe, the UPS-off
// commands and the system's shutdown, on simulated devices and virtual time.
#include "EngineFixture.h"
#include "engine/Confirmation.h"
#include "engine/WindowsModel.h"
#include "shutdown/AlarmController.h"
#include "shutdown/Countdown.h"
#include "shutdown/ShutdownSequence.h"
#include "shutdown/SystemShutdown.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

using namespace brevant;
using testsupport::EngineFixture;
using Origin = ShutdownSequence::Origin;

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
    void countdownStepsAndTexts_data();
    void countdownStepsAndTexts();
    void alarmCancelledThenMainsBackStaysHidden();
    void yesShutsDownThroughTheHandshakeDespiteAnExit_data();
    void yesShutsDownThroughTheHandshakeDespiteAnExit();
    void watcherActsOnCloseProgramsOne_data();
    void watcherActsOnCloseProgramsOne();
    void failedHandOverStillShutsDown_data();
    void failedHandOverStillShutsDown();
    void refusedPowerOffNeverCutsThePowerEarly();
};

void TestShutdownSequence::countdownStepsAndTexts_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("delayMinutes");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<qint64>("alarmAt");
    const auto serial = [](int n) { return QStringLiteral("System ShutDown After %1 Seconds").arg(n); };
    const auto usb = [](int n) { return QStringLiteral("System ShutDown After %1  Seconds").arg(n); };
    // Armed by the tick at 2.2 s; the count steps every second from then on.
    QTest::newRow("serial 3 s: D + 1 steps")
        << "1"
        << "0.05" << QStringList{serial(3), serial(2), serial(1), serial(0)} << qint64(6200);
    QTest::newRow("usb 3 s: D steps") << "0"
                                      << "0.05" << QStringList{usb(3), usb(2), usb(1)} << qint64(5200);
    QTest::newRow("usb negative") << "0"
                                  << "-1" << QStringList{usb(-60)} << qint64(3200);
}

void TestShutdownSequence::countdownStepsAndTexts()
{
    QFETCH(QString, port);
    QFETCH(QString, delayMinutes);
    QFETCH(QStringList, texts);
    QFETCH(qint64, alarmAt);
    EngineFixture f({{key::ComboPort, port},
                     {key::Shutdown(EventSection::OnBattery), QStringLiteral("1")},
                     {key::Delaytime(EventSection::OnBattery), delayMinutes}});
    QStringList shown;
    qint64 shownAt = -1;
    connect(&f.engine().countdown(), &Countdown::lblAlarmChanged, this, [&](const QString& t) {
        if (!t.isEmpty())
            shown.append(t);
    });
    connect(&f.engine().alarm(), &AlarmController::shown, this,
            [&] { shownAt = f.platform().scheduler.nowMs(); });
    f.start();
    f.platform().halvic.setUpsState(SimulatedHalvic::UpsState::OnBattery);
    f.serialLines(true, false);
    f.advance(10000);
    QCOMPARE(shown, texts);
    QCOMPARE(shownAt, alarmAt);
    QCOMPARE(f.engine().countdown().lblAlarm(), QString()); // the alarm window's load clears it
    QVERIFY(!f.engine().countdown().isRunning());
}

void TestShutdownSequence::alarmCancelledThenMainsBackStaysHidden()
{
    EngineFixture f({{key::ComboPort, QStringLiteral("1")},
                     {key::Shutdown(EventSection::OnBattery), QStringLiteral("1")},
                     {key::Delaytime(EventSection::OnBattery), QStringLiteral("0")}});
    AlarmController& alarm = f.engine().alarm();
    f.start();
    f.serialLines(true, false);
    f.advance(2200 + 1000 + 300);
    QVERIFY(alarm.isVisible());
    QSignalSpy shown(&alarm, &AlarmController::shown);
    alarm.pressCancel();
    f.serialLines(false, false);
    f.advance(10000);
    QCOMPARE(shown.count(), 0);
    QVERIFY(!alarm.isLoaded());
    QVERIFY(!alarm.alarmFormShown());
    QCOMPARE(f.platform().powerOff.count(), 0);
    QCOMPARE(f.get(key::ShutDown), QString());
}

void TestShutdownSequence::yesShutsDownThroughTheHandshakeDespiteAnExit_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QList<qint64>>("usbUpsOffTimes");
    QTest::addColumn<int>("dtrRaises");
    // The USB UPS is told three times, 10 ms apart; the serial one by raising DTR, once.
    QTest::newRow("USB") << "0" << QList<qint64>{100, 110, 120} << 0;
    QTest::newRow("serial") << "1" << QList<qint64>{} << 1;
}

void TestShutdownSequence::yesShutsDownThroughTheHandshakeDespiteAnExit()
{
    QFETCH(QString, port);
    QFETCH(QList<qint64>, usbUpsOffTimes);
    QFETCH(int, dtrRaises);
    EngineFixture f({{key::ComboPort, port}, {key::Saveapllication, QStringLiteral("0")}});
    f.start();
    QSignalSpy exited(&f.engine(), &MonitorEngine::exited);
    f.engine().windows().show(WindowsModel::frmMain);
    f.engine().confirmation().pressShutdownButton();
    f.engine().confirmation().pressYes();
    QVERIFY(!f.engine().windows().isVisible(WindowsModel::frmMain));
    QCOMPARE(f.get(key::ShutDown), QStringLiteral("1"));
    // SIGTERM arrives at 105 ms, on the USB link inside the 10 ms waits between the UPS-off commands.
    auto exitRequest = f.platform().scheduler.createTimer(105, [&f] { f.engine().requestExit(); });
    exitRequest->start();
    f.advance(99);
    QCOMPARE(f.platform().powerOff.count(), 0);
    f.advance(1);
    QCOMPARE(f.get(key::ShutDown), QStringLiteral("0"));
    QCOMPARE(f.platform().halvic.upsOffTimes(), usbUpsOffTimes);
    QCOMPARE(f.platform().serialPort.dtrRaiseCount(), dtrRaises);
    QCOMPARE(f.platform().powerOff.count(), 1);
    f.advance(5); // past the SIGTERM on the serial link, which has no waits
    exitRequest->stop();
    QCOMPARE(exited.size(), 1);
    const auto appended = f.takeAppended();
    QVERIFY(!appended.isEmpty());
    QCOMPARE(appended.last().second, QStringLiteral("Program quit"));
    QVERIFY(!f.platform().halvic.deviceOpen());
    f.advance(1000);
    QCOMPARE(f.platform().powerOff.count(), 1);
}

void TestShutdownSequence::watcherActsOnCloseProgramsOne_data()
{
    QTest::addColumn<QString>("answer"); // written by close.exe after the request; empty: none
    QTest::addColumn<bool>("acts");
    // A "1" left behind by a crash between a hand-over and its reset must not shut down before
    // close.exe has saved anything.
    QTest::newRow("stale 1 from before") << "" << false;
    QTest::newRow("1") << "1" << true;
    QTest::newRow("1.0") << "1.0" << true;
    QTest::newRow("2") << "2" << false;
    QTest::newRow("yes") << "yes" << false;
}

void TestShutdownSequence::watcherActsOnCloseProgramsOne()
{
    QFETCH(QString, answer);
    QFETCH(bool, acts);
    EngineFixture f({{key::Saveapllication, QStringLiteral("1")}, {key::ShutDown, QStringLiteral("1")}});
    QVERIFY(placeCloseProgram(f));
    f.start();
    f.engine().shutdown().RequestShutdown(Origin::ConfirmationWindow);
    QCOMPARE(f.platform().processStarter.started(), QStringList{f.paths().closeProgram()});
    QCOMPARE(f.get(key::ShutDown), QStringLiteral("0"));
    f.advance(60000);
    if (!answer.isEmpty())
        f.set(key::ShutDown, answer);
    f.advance(100);
    QCOMPARE(f.platform().powerOff.count(), acts ? 1 : 0);
    QCOMPARE(f.get(key::ShutDown), acts || answer.isEmpty() ? QStringLiteral("0") : answer);
}

void TestShutdownSequence::failedHandOverStillShutsDown_data()
{
    QTest::addColumn<bool>("saveApplications");
    QTest::addColumn<bool>("unwritable");
    QTest::addColumn<QString>("logged");
    const QString notWritten = QStringLiteral("Shutdown hand-over not written: shutdown without it");
    QTest::newRow("unwritable, written by the program") << false << true << notWritten;
    QTest::newRow("unwritable, cleared before close.exe") << true << true << notWritten;
    QTest::newRow("close.exe missing") << true << false << QStringLiteral("close.exe could not be started");
}

void TestShutdownSequence::failedHandOverStillShutsDown()
{
    QFETCH(bool, saveApplications);
    QFETCH(bool, unwritable);
    QFETCH(QString, logged);
    EngineFixture f({{key::Saveapllication, saveApplications ? QStringLiteral("1") : QStringLiteral("0")}});
    f.start();
    if (unwritable) {
        QVERIFY(placeCloseProgram(f));
        // The settings file turns unwritable (read-only directory, full disk): a directory in its
        // place makes every write fail, for root too.
        QVERIFY(QFile::remove(f.paths().settingsFile()));
        QVERIFY(QDir(f.paths().configDir()).mkpath(QStringLiteral("UpsConfigure.ini")));
    }
    f.engine().shutdown().RequestShutdown(Origin::ConfirmationWindow);
    QVERIFY(f.platform().processStarter.started().isEmpty());
    QVERIFY(!f.messages(RecordTableId::Log).filter(logged).isEmpty());
    f.advance(1000);
    QCOMPARE(f.platform().halvic.upsOffCount(), 3);
    QCOMPARE(f.platform().powerOff.count(), 1);
}

void TestShutdownSequence::refusedPowerOffNeverCutsThePowerEarly()
{
    EngineFixture f;
    f.start();
    SimulatedPowerOff& powerOff = f.platform().powerOff;
    powerOff.permission = Status::failure(QStringLiteral("logind answers \"challenge\""));
    f.engine().shutdown().RequestShutdown(Origin::AlarmWindow);
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
    f.advance(3 * SystemShutdown::RetryIntervalMs);
    QCOMPARE(powerOff.count(), 2);
    QCOMPARE(f.platform().halvic.upsOffCount(), 3);
}

QTEST_GUILESS_MAIN(TestShutdownSequence)
#include "tst_shutdownsequence.moc"
