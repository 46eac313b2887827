// From the mains failure to the power-off: the countdown, the hand-over to close.exe, the UPS-off
// commands and the system's shutdown, on simulated devices and virtual time.
#include "EngineFixture.h"
#include "engine/Confirmation.h"
#include "shutdown/ShutdownSequence.h"
#include "shutdown/SystemShutdown.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

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
    QTEST(f.platform().halvic.upsOffTimes(), "usbUpsOffTimes");
    QTEST(f.platform().serialPort.dtrRaiseCount(), "dtrRaises");
    QCOMPARE(f.platform().powerOff.count(), 1);
    f.advance(5); // past the SIGTERM on the serial link, which has no waits
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
    f.advance(100);
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
    f.advance(SystemShutdown::RetryIntervalMs);
    QCOMPARE(f.platform().halvic.upsOffCount(), 3);
    QCOMPARE(powerOff.count(), 1);
    QCOMPARE(shown.size(), 2);
    powerOff.answer = Status::success();
    f.advance(4 * SystemShutdown::RetryIntervalMs); // retried once more, then done
    QCOMPARE(powerOff.count(), 2);
    QCOMPARE(f.platform().halvic.upsOffCount(), 3);
}

QTEST_GUILESS_MAIN(TestShutdownSequence)
#include "tst_shutdownsequence.moc"
