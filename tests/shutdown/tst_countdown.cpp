#include "EngineFixture.h"
#include "shutdown/AlarmController.h"
#include "shutdown/Countdown.h"

#include <QTest>

using namespace brevant;
using testsupport::EngineFixture;

class TestCountdown : public QObject
{
    Q_OBJECT

private slots:
    void stepsAndTexts_data();
    void stepsAndTexts();
    void lostUsbLinkPausesTheCount();
};

void TestCountdown::stepsAndTexts_data()
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
    QTest::newRow("serial 0 s") << "1"
                                << "0" << QStringList{serial(0)} << qint64(3200);
    QTest::newRow("usb 0 s") << "0"
                             << "0" << QStringList{usb(0)} << qint64(3200);
    QTest::newRow("usb negative") << "0"
                                  << "-1" << QStringList{usb(-60)} << qint64(3200);
}

void TestCountdown::stepsAndTexts()
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

void TestCountdown::lostUsbLinkPausesTheCount()
{
    EngineFixture f({{key::ComboPort, QStringLiteral("0")},
                     {key::Shutdown(EventSection::OnBattery), QStringLiteral("1")},
                     {key::Delaytime(EventSection::OnBattery), QStringLiteral("1")}});
    f.start();
    f.platform().halvic.setUpsState(SimulatedHalvic::UpsState::OnBattery);
    f.advance(2200 + 3000); // armed at 2.2 s, three steps shown: 60, 59, 58
    QCOMPARE(f.engine().countdown().shutdownDelay(), 57);
    f.platform().halvic.setUpsState(SimulatedHalvic::UpsState::Silent);
    f.advance(2200); // the tick at 6.6 s loses the link
    const qint32 paused = f.engine().countdown().shutdownDelay();
    QCOMPARE(f.engine().countdown().lblAlarm(), QStringLiteral(" "));
    f.advance(20000);
    QCOMPARE(f.engine().countdown().shutdownDelay(), paused);
    QVERIFY(f.engine().countdown().isRunning());
    f.platform().halvic.setUpsState(SimulatedHalvic::UpsState::OnBattery);
    f.tick();
    f.advance(1000);
    QCOMPARE(f.engine().countdown().shutdownDelay(), paused - 1);
    QCOMPARE(f.engine().countdown().lblAlarm(),
             QStringLiteral("System ShutDown After %1  Seconds").arg(paused));
}

QTEST_GUILESS_MAIN(TestCountdown)
#include "tst_countdown.moc"
