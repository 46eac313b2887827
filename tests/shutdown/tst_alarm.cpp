#include "EngineFixture.h"
#include "engine/WindowsModel.h"
#include "shutdown/AlarmController.h"
#include "shutdown/Countdown.h"

#include <QTest>

using namespace brevant;
using testsupport::EngineFixture;

namespace {

// Serial link, shutdown one second after the mains fails.
EngineFixture* onBatteryWithAlarm(bool low)
{
    auto* f = new EngineFixture({{key::ComboPort, QStringLiteral("1")},
                                 {key::Shutdown(EventSection::OnBattery), QStringLiteral("1")},
                                 {key::Delaytime(EventSection::OnBattery), QStringLiteral("0")},
                                 {key::Shutdown(EventSection::LowBattery), QStringLiteral("1")},
                                 {key::Delaytime(EventSection::LowBattery), QStringLiteral("0")}});
    f->start();
    f->serialLines(true, low);
    f->advance(2200 + 1000); // the tick arms a zero delay; the first step shows the window
    return f;
}

} // namespace

class TestAlarm : public QObject
{
    Q_OBJECT

private slots:
    void fullBarStartsTheShutdown();
    void cancelThenStillOnBatteryComesBackAfterFiveSeconds();
    void cancelWithLowBatteryComesBackEveryTwoSeconds();
    void cancelThenMainsBackStaysHidden();
};

void TestAlarm::fullBarStartsTheShutdown()
{
    std::unique_ptr<EngineFixture> f(onBatteryWithAlarm(false));
    AlarmController& alarm = f->engine().alarm();
    QVERIFY(alarm.isVisible());
    QVERIFY(alarm.alarmFormShown());
    QList<int> chunks;
    connect(&alarm, &AlarmController::chunkDrawn, this, [&](int x) { chunks.append(x); });
    f->advance(4000);
    QCOMPARE(chunks.size(), 40);
    QVERIFY(alarm.isLoaded());
    f->advance(100);
    QCOMPARE(chunks.size(), 41);
    QCOMPARE(chunks.first(), 4);
    QCOMPARE(chunks.last(), 404);
    QVERIFY(!alarm.isLoaded());
    QVERIFY(alarm.alarmFormShown()); // left for the poll to clear
    QVERIFY(!f->engine().windows().isVisible(WindowsModel::frmMain));
    QCOMPARE(f->get(key::ShutDown), QStringLiteral("1"));
    f->advance(100);
    QCOMPARE(f->platform().powerOff.count(), 1);
    QCOMPARE(f->platform().serialPort.dtrRaiseCount(), 1);
}

void TestAlarm::cancelThenStillOnBatteryComesBackAfterFiveSeconds()
{
    std::unique_ptr<EngineFixture> f(onBatteryWithAlarm(false));
    AlarmController& alarm = f->engine().alarm();
    f->advance(2000); // the 20th tick
    alarm.pressCancel();
    QVERIFY(!alarm.isVisible());
    QVERIFY(alarm.isLoaded());
    const qint16 stoppedAt = alarm.barPos();
    f->advance(4999);
    QVERIFY(!alarm.isVisible());
    QCOMPARE(alarm.barPos(), stoppedAt);
    f->advance(1);
    QVERIFY(alarm.isVisible());
    QCOMPARE(alarm.barPos(), AlarmController::BarStart);
    f->advance(5000);
    QVERIFY(!alarm.isLoaded()); // the restarted bar ran full
    QCOMPARE(f->platform().powerOff.count(), 1);
}

void TestAlarm::cancelWithLowBatteryComesBackEveryTwoSeconds()
{
    std::unique_ptr<EngineFixture> f(onBatteryWithAlarm(true));
    AlarmController& alarm = f->engine().alarm();
    QVERIFY(alarm.isVisible());
    for (int round = 0; round < 3; ++round) {
        f->advance(500);
        alarm.pressCancel();
        f->advance(1999);
        QVERIFY(!alarm.isVisible());
        f->advance(1);
        QVERIFY(alarm.isVisible());
    }
    QCOMPARE(f->platform().powerOff.count(), 0);
}

void TestAlarm::cancelThenMainsBackStaysHidden()
{
    std::unique_ptr<EngineFixture> f(onBatteryWithAlarm(false));
    AlarmController& alarm = f->engine().alarm();
    QList<QString> actions;
    connect(&alarm, &AlarmController::shown, this, [&] { actions.append(QStringLiteral("show")); });
    connect(&alarm, &AlarmController::unloaded, this, [&] { actions.append(QStringLiteral("unload")); });
    f->advance(300);
    alarm.pressCancel();
    f->serialLines(false, false);
    f->advance(10000);
    QCOMPARE(actions, QStringList{QStringLiteral("unload")});
    QVERIFY(!alarm.alarmFormShown());
    QCOMPARE(f->platform().powerOff.count(), 0);
    QCOMPARE(f->get(key::ShutDown), QString());
}

QTEST_GUILESS_MAIN(TestAlarm)
#include "tst_alarm.moc"
