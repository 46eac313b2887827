// From the mains failure to the power-off: the countdown, the hand-over to close.exe, the UPS-off
// commands and the system's shutdown, on simulated devices and virtual time.
#include "EngineFixture.h"
#include "shutdown/AlarmController.h"
#include "shutdown/Confirmation.h"
#include "shutdown/Countdown.h"
#include "shutdown/ShutdownSequence.h"
#include "shutdown/SystemShutdown.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>
#include <csignal>
#include <sys/resource.h>

using namespace brevant;
using testsupport::EngineFixture;
using Origin = ShutdownSequence::Origin;

class TestShutdownSequence : public QObject
{
    Q_OBJECT

private slots:
    void yesShutsDownThroughTheHandshakeDespiteAnExit_data();
    void yesShutsDownThroughTheHandshakeDespiteAnExit();
    void handOverToCloseProgram_data();
    void handOverToCloseProgram();
    void refusedPowerOffNeverCutsThePowerEarly();
    void stuckHandOverStartsTheShutdownOnce();
    void sharedUpsRepliesDecideTheWait_data();
    void sharedUpsRepliesDecideTheWait();
    void countdownCatchesUpAfterAStall();
    void exitDuringAShutdownCarriesItOut_data();
    void exitDuringAShutdownCarriesItOut();
};

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
    EngineFixture f({{key::ComboPort, port}, {key::Saveapllication, QStringLiteral("0")}});
    f.start();
    QSignalSpy exited(&f.engine(), &MonitorEngine::exited);
    f.engine().confirmation().pressShutdownButton();
    f.engine().confirmation().pressYes();
    QCOMPARE(f.get(key::ShutDown), QStringLiteral("1"));
    // SIGTERM arrives at 105 ms, on the USB link inside the 10 ms waits between the UPS-off commands.
    auto exitRequest = f.platform().scheduler.createTimer(105, [&f] { f.engine().requestExit(); });
    exitRequest->start();
    f.advance(99);
    QCOMPARE(f.platform().powerOff.count(), 0);
    f.advance(1);
    QCOMPARE(f.get(key::ShutDown), QStringLiteral("0"));
    f.advance(20); // the commands go out on their own timers
    QTEST(f.platform().halvic.upsOffTimes(), "usbUpsOffTimes");
    QTEST(f.platform().serialPort.dtrRaiseCount(), "dtrRaises");
    QCOMPARE(f.platform().powerOff.count(), 1);
    f.advance(5);
    exitRequest->stop();
    QCOMPARE(exited.size(), 1);
    QVERIFY(f.takeAppended().endsWith({RecordTableId::Log, QStringLiteral("Program quit")}));
    f.advance(1000);
    QCOMPARE(f.platform().powerOff.count(), 1);
}

void TestShutdownSequence::handOverToCloseProgram_data()
{
    QTest::addColumn<bool>("saveApplications");
    QTest::addColumn<bool>("closeProgram");
    QTest::addColumn<bool>("unwritable");
    QTest::addColumn<QString>("answer"); // written by close.exe after the request; empty: none
    QTest::addColumn<bool>("shutsDown");
    QTest::addColumn<QString>("logged");
    const QString notWritten = QStringLiteral("Shutdown hand-over not written: shutdown without it");
    // A "1" left behind by a crash between a hand-over and its reset must not shut down before
    // close.exe has saved anything. The settings file turns unwritable (read-only directory, full
    // disk): a directory in its place makes every write fail, for root too.
    // clang-format off
    QTest::newRow("close.exe answers 1") << true << true << false << "1" << true << "";
    QTest::newRow("close.exe answers 1.0") << true << true << false << "1.0" << true << "";
    QTest::newRow("close.exe answers yes") << true << true << false << "yes" << false << "";
    QTest::newRow("stale 1 from before") << true << true << false << "" << false << "";
    QTest::newRow("unwritable, written by the program") << false << true << true << "" << true << notWritten;
    QTest::newRow("unwritable, cleared before close.exe") << true << true << true << "" << true << notWritten;
    QTest::newRow("close.exe missing") << true << false << false << "" << true << "close.exe could not be started";
    // clang-format on
}

void TestShutdownSequence::handOverToCloseProgram()
{
    QFETCH(bool, saveApplications);
    QFETCH(bool, closeProgram);
    QFETCH(bool, unwritable);
    QFETCH(QString, answer);
    QFETCH(bool, shutsDown);
    QFETCH(QString, logged);
    EngineFixture f({{key::Saveapllication, saveApplications ? QStringLiteral("1") : QStringLiteral("0")},
                     {key::ShutDown, QStringLiteral("1")}});
    QVERIFY(!closeProgram || QFile(f.paths().closeProgram()).open(QIODevice::WriteOnly));
    f.start();
    if (unwritable) {
        QVERIFY(QFile::remove(f.paths().settingsFile()));
        QVERIFY(QDir(f.paths().configDir()).mkpath(QStringLiteral("UpsConfigure.ini")));
    }
    f.engine().shutdown().RequestShutdown(Origin::ConfirmationWindow);
    const bool handedOver = saveApplications && closeProgram && !unwritable;
    QCOMPARE(f.platform().processStarter.started(),
             handedOver ? QStringList{f.paths().closeProgram()} : QStringList());
    QVERIFY(logged.isEmpty() || !f.messages(RecordTableId::Log).filter(logged).isEmpty());
    f.advance(60000);
    if (!answer.isEmpty())
        f.set(key::ShutDown, answer);
    f.advance(120);
    QCOMPARE(f.platform().halvic.upsOffCount(), shutsDown ? 3 : 0);
    QCOMPARE(f.platform().powerOff.count(), shutsDown ? 1 : 0);
    if (handedOver)
        QCOMPARE(f.get(key::ShutDown), shutsDown || answer.isEmpty() ? QStringLiteral("0") : answer);
}

void TestShutdownSequence::refusedPowerOffNeverCutsThePowerEarly()
{
    EngineFixture f;
    f.start();
    SimulatedPowerOff& powerOff = f.platform().powerOff;
    powerOff.permission = Status::failure(QStringLiteral("logind answers \"challenge\""));
    f.engine().shutdown().RequestShutdown(Origin::AlarmWindow);
    // Not allowed: the UPS stays on, the user is told once, the refusal is recorded once.
    f.advance(100 + 3 * SystemShutdown::RetryIntervalMs);
    QCOMPARE(f.platform().halvic.upsOffCount(), 0);
    QCOMPARE(powerOff.count(), 0);
    const QStringList& shown = f.platform().messages.shown();
    QVERIFY(shown.size() == 1 && shown.first().contains(u"challenge"));
    QCOMPARE(f.messages(RecordTableId::Log).filter(u"Shutdown refused").size(), 1);

    // Allowed now, but the request itself is refused: the UPS is told once, the power-off retried.
    powerOff.permission = Status::success();
    powerOff.answer = Status::failure(QStringLiteral("an inhibitor blocks it"));
    f.advance(SystemShutdown::RetryIntervalMs + 20);
    QCOMPARE(f.platform().halvic.upsOffCount(), 3);
    QCOMPARE(powerOff.count(), 1);
    QCOMPARE(shown.size(), 2);
    powerOff.answer = Status::success();
    f.advance(4 * SystemShutdown::RetryIntervalMs); // retried once more, then done
    QCOMPARE(powerOff.count(), 2);
    QCOMPARE(f.platform().halvic.upsOffCount(), 3);
}

// A "1" the watcher cannot reset (the file can be read, not written) starts the shutdown once, not
// again every 100 ms. The writes fail as on a full disk: a file size limit of 0, SIGXFSZ ignored.
void TestShutdownSequence::stuckHandOverStartsTheShutdownOnce()
{
    EngineFixture f({{key::Saveapllication, QStringLiteral("0")}});
    f.start();
    f.engine().shutdown().RequestShutdown(Origin::ConfirmationWindow);
    QCOMPARE(f.get(key::ShutDown), QStringLiteral("1"));
    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit none = saved;
    none.rlim_cur = 0;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &none), 0);
    f.advance(2000);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    QCOMPARE(f.get(key::ShutDown), QStringLiteral("1"));
    QCOMPARE(f.platform().powerOff.count(), 1);
    QCOMPARE(f.platform().halvic.upsOffCount(), 3);
}

void TestShutdownSequence::sharedUpsRepliesDecideTheWait_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<qint64>("underWayMs"); // how long the reply stays "W1"
    QTest::addColumn<qint64>("powerOffAtMs");
    // The request at 2095 ms: the watcher starts the UPS-off at 2195 ms, around the poll due at
    // 2200 ms; a primary asked again every 500 ms.
    QTest::newRow("accepted") << QByteArray("S1") << qint64(0) << qint64(2215);
    QTest::newRow("secondary") << QByteArray("N1") << qint64(0) << qint64(2215);
    QTest::newRow("primary waits 3 s") << QByteArray("W1") << qint64(3000) << qint64(5215);
    QTest::newRow("primary never done")
        << QByteArray("W1") << qint64(1000000) << qint64(2215 + SystemShutdown::UpsOffWaitLimitMs);
}

// The UPS is not asked while it is being told to switch off: the commands go out on timers and the
// polls due meanwhile do not run; the poll goes on in phase afterwards. A primary computer of a
// shared UPS switches it off after the others have shut down: the system powers off once its
// UPS-off is no longer under way, or after the wait's limit.
void TestShutdownSequence::sharedUpsRepliesDecideTheWait()
{
    QFETCH(QByteArray, reply);
    QFETCH(qint64, underWayMs);
    QFETCH(qint64, powerOffAtMs);
    EngineFixture f;
    f.start();
    SimulatedHalvic& ups = f.platform().halvic;
    ups.setUpsOffReply(reply.constData());
    f.advance(2095);
    auto done = f.platform().scheduler.createTimer(int(underWayMs), [&ups] { ups.setUpsOffReply("S1"); });
    if (reply == "W1")
        done->start();
    f.engine().shutdown().RequestShutdown(Origin::ConfirmationWindow);
    f.advance(powerOffAtMs - 2095 - 1);
    QCOMPARE(f.platform().powerOff.count(), 0);
    f.advance(1);
    QCOMPARE(f.platform().powerOff.count(), 1);
    QCOMPARE(ups.upsOffTimes().first(3), (QList<qint64>{2195, 2205, 2215}));
    QCOMPARE(ups.statusQueryTimes(), QList<qint64>{0});
    f.advance(2200);
    QCOMPARE(ups.statusQueryTimes().size(), 2);
    QCOMPARE(ups.statusQueryTimes().last() % 2200, 0);
}

// The countdown follows the clock: stopped for 20 s of a 30 s countdown, the program opens the
// alarm window 30 s after the countdown began, not 20 s late.
void TestShutdownSequence::countdownCatchesUpAfterAStall()
{
    EngineFixture f({{key::Shutdown(EventSection::OnBattery), QStringLiteral("1")},
                     {key::Delaytime(EventSection::OnBattery), QStringLiteral("0.5")}});
    f.start();
    f.platform().halvic.setUpsState(SimulatedHalvic::UpsState::OnBattery);
    f.tick(); // armed at 2200 ms
    QVERIFY(f.engine().countdown().isRunning());
    f.platform().scheduler.stall(20000);
    QCOMPARE(f.engine().countdown().shutdownDelay(), 10);
    f.advance(32199 - 22200);
    QVERIFY(!f.engine().alarm().isLoaded());
    f.advance(1);
    QVERIFY(f.engine().alarm().isLoaded());
}

void TestShutdownSequence::exitDuringAShutdownCarriesItOut_data()
{
    QTest::addColumn<bool>("saving");
    QTest::addColumn<bool>("answered"); // close.exe writes its handshake 1 s after the exit request
    QTest::addColumn<qint64>("exitAtMs");
    QTest::addColumn<QString>("logged");
    const QString withoutCloseExe = QStringLiteral("Program ending: shutdown without waiting for close.exe");
    // The exit request comes at 500 ms. When saving, the alarm's Shutdown button has started the
    // shutdown, once: its bar stops and cannot start it again. Without saving, the alarm that is
    // counting starts the shutdown at once: the watcher sees the handshake at 600 ms, the UPS-off ends at 620
    // ms.
    QTest::newRow("alarm counting") << false << false << qint64(620) << "";
    QTest::newRow("close.exe saving, answers") << true << true << qint64(1620) << "";
    QTest::newRow("close.exe saving, silent")
        << true << false << qint64(500 + MonitorEngine::ExitHandOverWaitMs + 20) << withoutCloseExe;
}

// SIGTERM (a logout) while a shutdown is under way: the shutdown is carried out before the program
// ends, and the program log says so.
void TestShutdownSequence::exitDuringAShutdownCarriesItOut()
{
    QFETCH(bool, saving);
    QFETCH(bool, answered);
    QFETCH(QString, logged);
    EngineFixture f({{key::Saveapllication, saving ? QStringLiteral("1") : QStringLiteral("0")}});
    QVERIFY(QFile(f.paths().closeProgram()).open(QIODevice::WriteOnly));
    f.start();
    AlarmController& alarm = f.engine().alarm();
    alarm.show();
    if (saving)
        alarm.pressShutdown();
    qint64 exitedAt = -1;
    connect(&f.engine(), &MonitorEngine::exited, this, [&] { exitedAt = f.platform().scheduler.nowMs(); });
    f.advance(500);
    f.engine().requestExit();
    f.advance(1000);
    if (answered)
        f.set(key::ShutDown, QStringLiteral("1"));
    f.advance(10000);
    QTEST(exitedAt, "exitAtMs");
    QCOMPARE(f.platform().halvic.upsOffCount(), 3);
    QCOMPARE(f.platform().powerOff.count(), 1);
    QCOMPARE(f.platform().processStarter.started(),
             saving ? QStringList{f.paths().closeProgram()} : QStringList());
    QVERIFY(!alarm.isLoaded());
    QStringList log; // read as appended: the exit has closed the databases
    for (const auto& [table, text] : f.takeAppended()) {
        if (table == RecordTableId::Log)
            log.append(text);
    }
    QVERIFY(!log.filter(u"Exit requested during a shutdown").isEmpty());
    QVERIFY(logged.isEmpty() || !log.filter(logged).isEmpty());
    QCOMPARE(log.last(), QStringLiteral("Program quit"));
}

QTEST_GUILESS_MAIN(TestShutdownSequence)
#include "tst_shutdownsequence.moc"
