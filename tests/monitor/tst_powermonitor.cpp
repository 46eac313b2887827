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

EngineFixture::SettingList serialSettings(const QString& lowDisable = QStringLiteral("0"))
{
    return {{key::ComboPort, "1"},
            {key::Disableevent(EventSection::OnBattery), "0"},
            {key::Recordlog(EventSection::OnBattery), "1"},
            {key::Shutdown(EventSection::OnBattery), "1"},
            {key::Delaytime(EventSection::OnBattery), "2"},
            {key::Disableevent(EventSection::LowBattery), lowDisable},
            {key::Recordlog(EventSection::LowBattery), "1"},
            {key::Shutdown(EventSection::LowBattery), "1"},
            {key::Delaytime(EventSection::LowBattery), "1"}};
}

} // namespace

class TestPowerMonitor : public QObject
{
    Q_OBJECT

private slots:
    void transitionTable_data()
    {
        QTest::addColumn<bool>("fBefore");
        QTest::addColumn<bool>("gBefore");
        QTest::addColumn<bool>("b");
        QTest::addColumn<bool>("l");
        QTest::addColumn<QString>("lowDisable");
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
        row("FF power fails")        << false << false << true  << false << "0" << QStringList{Failed} << QStringList{sOk} << OnBattery << true << false << true;
        row("FF fails low disabled") << false << false << true  << true  << "1" << QStringList{} << QStringList{sLow} << LowBattery << false << false << true;
        row("FF low on mains")       << false << false << false << true  << "0" << QStringList{Low} << QStringList{sLow} << LowBattery << false << true << true;
        row("TF stays on battery")   << true  << false << true  << false << "0" << QStringList{} << QStringList{} << OnBattery << true << false << true;
        row("TF power restored")     << true  << false << false << false << "0" << QStringList{Recovered} << QStringList{main} << OnLine << false << false << false;
        row("TF battery low")        << true  << false << true  << true  << "0" << QStringList{Low} << QStringList{sLow} << LowBattery << true << true << true;
        row("TF back, still low")    << true  << false << false << true  << "0" << QStringList{Recovered, Low} << QStringList{main, sLow} << LowBattery << false << true << true;
        row("TT stays low")          << true  << true  << true  << true  << "0" << QStringList{} << QStringList{} << LowBattery << true << true << true;
        row("TT mains back, low")    << true  << true  << false << true  << "0" << QStringList{Recovered} << QStringList{main} << LowBattery << false << true << false;
        // Battery low seen on battery holds until the mains returns: a flickering flag cannot restart the countdown.
        row("TT low flickers off")   << true  << true  << true  << false << "0" << QStringList{} << QStringList{} << LowBattery << true << true << true;
        row("FT low clears on batt") << false << true  << true  << false << "0" << QStringList{Failed, LowRecovered} << QStringList{sOk, sOk} << OnBattery << false << false << false;
        row("FT all clear")          << false << true  << false << false << "0" << QStringList{LowRecovered} << QStringList{main} << OnLine << false << false << false;
        row("TT all clear")          << true  << true  << false << false << "0" << QStringList{Recovered, LowRecovered} << QStringList{main, main} << OnLine << false << false << false;
        // clang-format on
    }

    void transitionTable()
    {
        QFETCH(bool, fBefore);
        QFETCH(bool, gBefore);
        QFETCH(QString, lowDisable);
        QFETCH(QStringList, records);

        EngineFixture f(serialSettings(lowDisable));
        f.start();
        const auto lines = [&f](bool cts, bool dcd) {
            f.serialLines(cts, dcd);
            f.tick();
        };
        // The latches (F, G) set as a UPS sets them: on battery first, then battery low.
        if (fBefore)
            lines(true, false);
        if (gBefore)
            lines(fBefore, true);
        const PowerMonitor& monitor = f.engine().monitor();
        f.takeAppended();
        f.takeTray();
        QFETCH(bool, b);
        QFETCH(bool, l);
        lines(b, l);
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

    void lowBatteryDisabledRepeatsEntryActions()
    {
        EngineFixture f(serialSettings(QStringLiteral("1")));
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
    void usbLinkLostAndLeftKeepsTheLatches()
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

    void silentOnBatteryStartsTheShutdown_data()
    {
        QTest::addColumn<QString>("lowShutdown");
        QTest::addColumn<QString>("onBatteryShutdown");
        QTest::addColumn<qint64>("silentMs");
        QTest::addColumn<bool>("shutsDown");
        const qint64 limit = PowerMonitor::SilentOnBatteryLimitMs;
        // The first silent tick starts the clock; the ticks come every 2.2 s.
        // clang-format off
        QTest::newRow("low-battery shutdown set") << "1" << "0" << limit + 2200 << true;
        QTest::newRow("on-battery shutdown set")  << "0" << "1" << limit + 2200 << true;
        QTest::newRow("answers again in time")    << "1" << "0" << limit - 2200 << false;
        QTest::newRow("no shutdown wanted")       << "0" << "0" << 10 * limit << false;
        // clang-format on
    }

    // A UPS last seen on battery that stays silent counts as a battery run low: the alarm window
    // starts the shutdown, where the user wants one at all.
    void silentOnBatteryStartsTheShutdown()
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

    // The tip follows the charge and runtime from tick to tick on battery, short enough for the
    // tray; each event's record keeps its text and is followed by our own note in the program log.
    void batteryValuesReachTheTipAndTheLog()
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
        QCOMPARE(f.takeAppended(),
                 (QList<QPair<RecordTableId, QString>>{
                     {RecordTableId::Log, Failed},
                     {RecordTableId::UpsEvent, Failed},
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

    void ownThresholdBringsBatteryLowEarlier_data()
    {
        QTest::addColumn<QString>("lowCharge");
        QTest::addColumn<QString>("lowRuntime");
        QTest::addColumn<int>("lowTick"); // the tick (from 1) that raises battery low; 0: none
        // clang-format off
        QTest::newRow("charge 20 %")    << "20" << ""   << 3;
        QTest::newRow("runtime 10 min") << ""   << "10" << 3;
        QTest::newRow("off")            << "0"  << ""   << 0;
        // clang-format on
    }

    // The user's threshold raises the low-battery event, with its delay and shutdown, on the tick the
    // UPS reports reaching it. How it clears is the link's; the latch holding it, the table's.
    void ownThresholdBringsBatteryLowEarlier()
    {
        QFETCH(QString, lowCharge);
        QFETCH(QString, lowRuntime);
        EngineFixture f({{key::BatteryLowCharge, lowCharge},
                         {key::BatteryLowRuntime, lowRuntime},
                         {key::Recordlog(EventSection::LowBattery), QStringLiteral("1")},
                         {key::Shutdown(EventSection::LowBattery), QStringLiteral("1")},
                         {key::Delaytime(EventSection::LowBattery), QStringLiteral("1")}});
        SimulatedHalvic& ups = f.platform().halvic;
        f.start();
        f.tick();
        ups.setUpsState(SimulatedHalvic::UpsState::OnBattery);
        int tick = 0;
        int lowTick = 0;
        for (const int charge : {30, 21, 20, 19}) { // on battery, runtime = charge x 30 s
            ups.setValue("battery.charge", QByteArray::number(charge));
            ups.setValue("battery.runtime", QByteArray::number(charge * 30));
            f.tick();
            ++tick;
            if (!lowTick && f.engine().monitor().upsLowBattFlag())
                lowTick = tick;
        }
        QTEST(lowTick, "lowTick");
        QCOMPARE(f.engine().countdown().isRunning(), lowTick > 0);
        if (lowTick) {
            QVERIFY(f.engine().countdown().shutdownDelay() > 50); // the low-battery delay, 1 minute
            QCOMPARE(f.messages(RecordTableId::UpsEvent), QStringList{"Attention!! UPS Battery Low"});
            QCOMPARE(f.engine().display().message(), LowBattery);
        }
    }
};

QTEST_GUILESS_MAIN(TestPowerMonitor)
#include "tst_powermonitor.moc"
