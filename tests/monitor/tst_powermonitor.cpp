#include "EngineFixture.h"
#include "link/ActiveLink.h"
#include "monitor/PowerMonitor.h"
#include "monitor/StatusDisplay.h"
#include "shutdown/AlarmController.h"
#include "shutdown/Countdown.h"

#include <QTest>

using namespace brevant;
using testsupport::EngineFixture;

namespace {

const QString Failed = QStringLiteral("Attention!! System Power Failed");
const QString Recovered = QStringLiteral("System AC Power Recovered");
const QString Low = QStringLiteral("Attention!! UPS Battery Low");
const QString LowRecovered = QStringLiteral("UPS Battery Low Recovered");
const QString OnLine = QStringLiteral("UPS is on-line");
const QString OnBattery = QStringLiteral("UPS is on Battery");
const QString LowBattery = QStringLiteral("UPS is Low Battery");

EngineFixture::SettingList serialSettings(const QString& lowDisable = QStringLiteral("0"),
                                          const QString& lowShutdown = QStringLiteral("1"))
{
    return {{key::ComboPort, "1"},
            {key::Disableevent(EventSection::OnBattery), "0"},
            {key::Recordlog(EventSection::OnBattery), "1"},
            {key::Shutdown(EventSection::OnBattery), "1"},
            {key::Delaytime(EventSection::OnBattery), "2"},
            {key::Disableevent(EventSection::LowBattery), lowDisable},
            {key::Recordlog(EventSection::LowBattery), "1"},
            {key::Shutdown(EventSection::LowBattery), lowShutdown},
            {key::Delaytime(EventSection::LowBattery), "1"}};
}

// Ticks that bring the latches (F, G) into a state: none, on battery, low on mains, low on battery.
using Lines = QList<QPair<bool, bool>>;
Lines prepare(bool f, bool g)
{
    if (f && g)
        return {{true, false}, {true, true}};
    if (f)
        return {{true, false}};
    if (g)
        return {{false, true}};
    return {};
}

} // namespace

class TestPowerMonitor : public QObject
{
    Q_OBJECT

private slots:
    void transitionTable_data();
    void transitionTable();
    void lowBatteryDisabledRepeatsEntryActions();
    void usbLinkLostAndLeftKeepsTheLatches();
    void silentOnBatteryStartsTheShutdown_data();
    void silentOnBatteryStartsTheShutdown();
    void forcedShutdownStartsTheAlarmAtOnce();
    void batteryValuesReachTheTipAndTheLog();
    void ownThresholdBringsBatteryLowEarlier_data();
    void ownThresholdBringsBatteryLowEarlier();
};

void TestPowerMonitor::transitionTable_data()
{
    QTest::addColumn<bool>("fBefore");
    QTest::addColumn<bool>("gBefore");
    QTest::addColumn<bool>("b");
    QTest::addColumn<bool>("l");
    QTest::addColumn<QString>("lowDisable");
    QTest::addColumn<QString>("lowShutdown");
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<QStringList>("tray");
    QTest::addColumn<QString>("display");
    QTest::addColumn<bool>("fAfter");
    QTest::addColumn<bool>("gAfter");
    QTest::addColumn<bool>("counting"); // the shutdown countdown runs after the tick

    const QString sOk = QStringLiteral("ImaSOk|UPS is on battery");
    const QString sLow = QStringLiteral("ImaSLow|UPS is low battery");
    const QString main = QStringLiteral("ImaMain|Quillon System");
    auto row = [](const char* name) -> QTestData& { return QTest::newRow(name); };
    // clang-format off
    row("FF power fails")        << false << false << true  << false << "0" << "1" << QStringList{Failed} << QStringList{sOk} << OnBattery << true << false << true;
    row("FF fails low disabled") << false << false << true  << true  << "1" << "1" << QStringList{} << QStringList{sLow} << LowBattery << false << false << true;
    row("FF low on mains")       << false << false << false << true  << "0" << "1" << QStringList{Low} << QStringList{sLow} << LowBattery << false << true << true;
    row("TF stays on battery")   << true  << false << true  << false << "0" << "1" << QStringList{} << QStringList{} << OnBattery << true << false << true;
    row("TF power restored")     << true  << false << false << false << "0" << "1" << QStringList{Recovered} << QStringList{main} << OnLine << false << false << false;
    row("TF battery low")        << true  << false << true  << true  << "0" << "1" << QStringList{Low} << QStringList{sLow} << LowBattery << true << true << true;
    row("TF back, still low")    << true  << false << false << true  << "0" << "1" << QStringList{Recovered, Low} << QStringList{main, sLow} << LowBattery << false << true << true;
    row("TT stays low")          << true  << true  << true  << true  << "0" << "1" << QStringList{} << QStringList{} << LowBattery << true << true << true;
    row("TT mains back, low")    << true  << true  << false << true  << "0" << "1" << QStringList{Recovered} << QStringList{main} << LowBattery << false << true << false;
    // Battery low seen on battery holds until the mains returns: a flickering flag cannot restart the countdown.
    row("TT low flickers off")   << true  << true  << true  << false << "0" << "1" << QStringList{} << QStringList{} << LowBattery << true << true << true;
    row("FT low clears on batt") << false << true  << true  << false << "0" << "1" << QStringList{Failed, LowRecovered} << QStringList{sOk, sOk} << OnBattery << false << false << false;
    row("FT all clear")          << false << true  << false << false << "0" << "1" << QStringList{LowRecovered} << QStringList{main} << OnLine << false << false << false;
    row("TT all clear")          << true  << true  << false << false << "0" << "1" << QStringList{Recovered, LowRecovered} << QStringList{main, main} << OnLine << false << false << false;
    // clang-format on
}

void TestPowerMonitor::transitionTable()
{
    QFETCH(bool, fBefore);
    QFETCH(bool, gBefore);
    QFETCH(QString, lowDisable);
    QFETCH(QString, lowShutdown);
    QFETCH(QStringList, records);

    EngineFixture f(serialSettings(lowDisable, lowShutdown));
    f.start();
    for (const auto& [cts, dcd] : prepare(fBefore, gBefore)) {
        f.serialLines(cts, dcd);
        f.tick();
    }
    const PowerMonitor& monitor = f.engine().monitor();
    f.takeAppended();
    f.takeTray();

    QFETCH(bool, b);
    QFETCH(bool, l);
    f.serialLines(b, l);
    f.tick();

    QStringList logged;
    QStringList events;
    for (const auto& [table, text] : f.takeAppended())
        (table == RecordTableId::Log ? logged : events).append(text);
    QCOMPARE(logged, records);
    QCOMPARE(events, records);
    QTEST(f.takeTray(), "tray");
    QTEST(f.engine().display().message(), "display");
    QTEST(monitor.upsOnBattFlag(), "fAfter");
    QTEST(monitor.upsLowBattFlag(), "gAfter");
    QTEST(f.engine().countdown().isRunning(), "counting");
}

void TestPowerMonitor::lowBatteryDisabledRepeatsEntryActions()
{
    EngineFixture f(serialSettings(QStringLiteral("1"), QStringLiteral("1")));
    f.start();
    f.takeTray();
    f.serialLines(true, true);
    for (int i = 0; i < 3; ++i) {
        f.tick();
        QCOMPARE(f.takeTray(), QStringList{QStringLiteral("ImaSLow|UPS is low battery")});
        // The countdown is armed afresh every tick and so never runs out.
        QCOMPARE(f.engine().countdown().shutdownDelay(), 60);
    }
    f.serialLines(false, false);
    f.tick();
    QCOMPARE(f.messages(RecordTableId::UpsEvent), QStringList()); // disabled, and no latch to clear
}

// A lost USB link pauses the countdown and keeps the latches without recording anything; back,
// the count goes on from where it paused. A move to a serial port that still reports the mains
// failure is no new failure either.
void TestPowerMonitor::usbLinkLostAndLeftKeepsTheLatches()
{
    EngineFixture::SettingList settings = serialSettings();
    settings[0].second = QStringLiteral("0"); // the link: USB
    EngineFixture f(settings);
    f.start();
    f.platform().halvic.setUpsState(SimulatedHalvic::UpsState::OnBattery);
    f.tick();
    f.advance(1000);
    const qint32 delayBefore = f.engine().countdown().shutdownDelay();
    f.takeAppended();

    f.platform().halvic.setUpsState(SimulatedHalvic::UpsState::Silent);
    f.advance(2200 * 3);
    QCOMPARE(f.engine().countdown().shutdownDelay(), delayBefore - 1);
    f.platform().halvic.setUpsState(SimulatedHalvic::UpsState::OnBattery);
    f.tick();
    f.advance(1000);
    QVERIFY(f.engine().countdown().shutdownDelay() < delayBefore - 1);
    QVERIFY(f.engine().countdown().lblAlarm().startsWith(u"System ShutDown After"));

    f.set(key::ComboPort, QStringLiteral("1"));
    f.engine().links().switchToChosenLink();
    f.serialLines(true, false);
    f.tick();
    QVERIFY(f.engine().monitor().upsOnBattFlag());
    QVERIFY(f.takeAppended().isEmpty());

    f.serialLines(false, false);
    f.takeTray();
    f.tick();
    QCOMPARE(f.takeTray(), QStringList{QStringLiteral("ImaMain|Quillon System")});
}

void TestPowerMonitor::silentOnBatteryStartsTheShutdown_data()
{
    QTest::addColumn<QString>("lowShutdown");
    QTest::addColumn<QString>("onBatteryShutdown");
    QTest::addColumn<qint64>("silentMs");
    QTest::addColumn<bool>("shutsDown");
    const qint64 limit = PowerMonitor::SilentOnBatteryLimitMs;
    // The first silent tick starts the clock; the ticks come every 2.2 s.
    QTest::newRow("low-battery shutdown set") << "1"
                                              << "0" << limit + 2200 << true;
    QTest::newRow("on-battery shutdown set") << "0"
                                             << "1" << limit + 2200 << true;
    QTest::newRow("answers again in time") << "1"
                                           << "0" << limit - 2200 << false;
    QTest::newRow("no shutdown wanted") << "0"
                                        << "0" << 10 * limit << false;
}

// A UPS last seen on battery that stays silent counts as a battery run low: the alarm window
// starts the shutdown, where the user wants one at all.
void TestPowerMonitor::silentOnBatteryStartsTheShutdown()
{
    QFETCH(QString, lowShutdown);
    QFETCH(QString, onBatteryShutdown);
    QFETCH(qint64, silentMs);
    QFETCH(bool, shutsDown);
    EngineFixture f({{key::Shutdown(EventSection::LowBattery), lowShutdown},
                     {key::Shutdown(EventSection::OnBattery), onBatteryShutdown},
                     {key::Delaytime(EventSection::OnBattery), QStringLiteral("60")}});
    f.start();
    f.platform().halvic.setUpsState(SimulatedHalvic::UpsState::OnBattery);
    f.tick();
    f.platform().halvic.setUpsState(SimulatedHalvic::UpsState::Silent);
    f.tick();
    f.advance(silentMs);
    f.platform().halvic.setUpsState(SimulatedHalvic::UpsState::OnBattery);
    f.tick();
    QCOMPARE(f.engine().alarm().isCounting(), shutsDown);
    QCOMPARE(f.messages(RecordTableId::Log)
                 .contains(QStringLiteral("UPS silent while on battery: shutdown started")),
             shutsDown);
    if (shutsDown) {
        f.advance(5000);
        QCOMPARE(f.platform().powerOff.count(), 1);
    }
}

// FSD from the UPS's server, even on mains and with an hour's delay set: the alarm window at once,
// recorded, shown on the page and in the tray, once while it lasts.
void TestPowerMonitor::forcedShutdownStartsTheAlarmAtOnce()
{
    EngineFixture f({{key::Shutdown(EventSection::OnBattery), QStringLiteral("1")},
                     {key::Delaytime(EventSection::OnBattery), QStringLiteral("60")}});
    f.start();
    f.tick();
    f.takeTray();
    f.platform().halvic.setForcedShutdown(true);
    f.tick();
    QVERIFY(f.engine().alarm().isCounting());
    QCOMPARE(f.engine().display().message(), QStringLiteral("Forced shutdown requested by the UPS server"));
    QCOMPARE(f.takeTray(),
             QStringList{QStringLiteral("ImaSLow|Forced shutdown requested by the UPS server")});
    f.tick();
    QCOMPARE(
        f.messages(RecordTableId::Log).count(QStringLiteral("Forced shutdown requested by the UPS server")),
        1);
    f.advance(4000);
    QCOMPARE(f.platform().powerOff.count(), 1);
}

// The tip follows the charge and runtime from tick to tick on battery, short enough for the
// tray; each event's record keeps its text and is followed by our own note in the program log.
void TestPowerMonitor::batteryValuesReachTheTipAndTheLog()
{
    EngineFixture f({{key::Recordlog(EventSection::OnBattery), QStringLiteral("1")}});
    SimulatedHalvic& ups = f.platform().halvic;
    ups.setValue("battery.charge", "87");
    ups.setValue("battery.runtime", "1380");
    f.start();
    f.tick();
    f.takeTray();
    f.takeAppended();
    ups.setUpsState(SimulatedHalvic::UpsState::OnBattery);
    f.tick();
    const QString tip = QStringLiteral("UPS is on battery — 87 %, about 23 min left");
    QCOMPARE(f.takeTray(), QStringList{QStringLiteral("ImaSOk|") + tip});
    QVERIFY(tip.size() <= 63);
    const QString failed = QStringLiteral("Attention!! System Power Failed");
    QCOMPARE(f.takeAppended(),
             (QList<QPair<RecordTableId, QString>>{
                 {RecordTableId::Log, failed},
                 {RecordTableId::UpsEvent, failed},
                 {RecordTableId::Log, QStringLiteral("UPS battery: 87 %, about 23 min left")}}));
    f.tick();
    QCOMPARE(f.takeTray(), QStringList()); // nothing changed
    ups.setValue("battery.charge", "80.4");
    ups.setValue("battery.runtime", "");
    f.tick();
    QCOMPARE(f.takeTray(), QStringList{QStringLiteral("ImaSOk|UPS is on battery — 80 %")});
    ups.setUpsState(SimulatedHalvic::UpsState::Online);
    f.tick();
    QCOMPARE(f.takeTray(), QStringList{QStringLiteral("ImaMain|Brevant")});
    QCOMPARE(f.messages(RecordTableId::Log).last(), QStringLiteral("UPS battery: 80 %"));
}

void TestPowerMonitor::ownThresholdBringsBatteryLowEarlier_data()
{
    QTest::addColumn<QString>("lowCharge");
    QTest::addColumn<QString>("lowRuntime");
    QTest::addColumn<QStringList>("charges"); // one tick each, on battery, runtime = charge x 30 s
    QTest::addColumn<int>("lowTick");         // the tick (from 1) that raises battery low; 0: none
    QTest::newRow("charge 20 %") << "20"
                                 << "" << QStringList{"30", "21", "20", "19"} << 3;
    QTest::newRow("runtime 10 min") << ""
                                    << "10" << QStringList{"30", "21", "20", "19"} << 3;
    QTest::newRow("off") << "0"
                         << "" << QStringList{"30", "21", "20", "19"} << 0;
    QTest::newRow("not reported: the UPS's own flag only") << "20"
                                                           << "" << QStringList{"-", "-"} << 0;
}

// The user's threshold raises the low-battery event, with its delay and shutdown, on the tick the
// UPS reports reaching it; the battery stays low until the mains is back.
void TestPowerMonitor::ownThresholdBringsBatteryLowEarlier()
{
    QFETCH(QString, lowCharge);
    QFETCH(QString, lowRuntime);
    QFETCH(QStringList, charges);
    EngineFixture f({{key::BatteryLowCharge, lowCharge},
                     {key::BatteryLowRuntime, lowRuntime},
                     {key::Recordlog(EventSection::LowBattery), QStringLiteral("1")},
                     {key::Shutdown(EventSection::LowBattery), QStringLiteral("1")},
                     {key::Delaytime(EventSection::LowBattery), QStringLiteral("1")}});
    SimulatedHalvic& ups = f.platform().halvic;
    f.start();
    f.tick();
    ups.setUpsState(SimulatedHalvic::UpsState::OnBattery);
    int lowTick = 0;
    for (int i = 0; i < charges.size(); ++i) {
        const bool given = charges[i] != u"-";
        ups.setValue("battery.charge", given ? charges[i].toUtf8() : QByteArray());
        ups.setValue("battery.runtime", given ? QByteArray::number(charges[i].toInt() * 30) : QByteArray());
        f.tick();
        if (!lowTick && f.engine().monitor().upsLowBattFlag())
            lowTick = i + 1;
    }
    QTEST(lowTick, "lowTick");
    QCOMPARE(f.engine().countdown().isRunning(), lowTick > 0);
    if (lowTick) {
        QVERIFY(f.engine().countdown().shutdownDelay() > 50); // the low-battery delay, 1 minute
        QCOMPARE(f.messages(RecordTableId::UpsEvent), QStringList{"Attention!! UPS Battery Low"});
        QCOMPARE(f.engine().display().message(), QStringLiteral("UPS is Low Battery"));
        ups.setValue("battery.charge", "50"); // well above: still low on battery
        ups.setValue("battery.runtime", "1500");
        f.tick();
        QVERIFY(f.engine().monitor().upsLowBattFlag());
        ups.setUpsState(SimulatedHalvic::UpsState::Online);
        f.tick();
        QVERIFY(!f.engine().monitor().upsLowBattFlag());
    }
}

QTEST_GUILESS_MAIN(TestPowerMonitor)
#include "tst_powermonitor.moc"
