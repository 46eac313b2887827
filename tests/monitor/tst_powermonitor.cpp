#include "EngineFixture.h"
#include "config/IniFile.h"
#include "link/ActiveLink.h"
#include "monitor/PowerMonitor.h"
#include "monitor/StatusDisplay.h"
#include "shutdown/AlarmController.h"
#include "shutdown/Countdown.h"

#include <QTemporaryDir>
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
    void secondLowReadingDecidesLowBlock();
    void lostUsbLinkFreezesTheMachine();
    void linkSwitchCarriesLatchesOver();
    void singleTickOnBatteryIsAFullEventAndItsReverse();
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

    const QString sOk = QStringLiteral("ImaSOk|UPS is on battery");
    const QString sLow = QStringLiteral("ImaSLow|UPS is low battery");
    const QString main = QStringLiteral("ImaMain|Quillon System");
    auto row = [](const char* name) -> QTestData& { return QTest::newRow(name); };
    // clang-format off
    row("FF on line")            << false << false << false << false << "0" << "1" << QStringList{} << QStringList{} << OnLine << false << false;
    row("FF power fails")        << false << false << true  << false << "0" << "1" << QStringList{Failed} << QStringList{sOk} << OnBattery << true << false;
    row("FF fails already low")  << false << false << true  << true  << "0" << "1" << QStringList{Low} << QStringList{sLow} << LowBattery << false << true;
    row("FF fails low disabled") << false << false << true  << true  << "1" << "1" << QStringList{} << QStringList{sLow} << LowBattery << false << false;
    row("FF low on mains")       << false << false << false << true  << "0" << "1" << QStringList{Low} << QStringList{sLow} << LowBattery << false << true;
    row("TF stays on battery")   << true  << false << true  << false << "0" << "1" << QStringList{} << QStringList{} << OnBattery << true << false;
    row("TF power restored")     << true  << false << false << false << "0" << "1" << QStringList{Recovered} << QStringList{main} << OnLine << false << false;
    row("TF battery low")        << true  << false << true  << true  << "0" << "1" << QStringList{Low} << QStringList{sLow} << LowBattery << true << true;
    row("TF back, still low")    << true  << false << false << true  << "0" << "1" << QStringList{Recovered, Low} << QStringList{main, sLow} << LowBattery << false << true;
    row("FT stays low")          << false << true  << true  << true  << "0" << "1" << QStringList{} << QStringList{} << LowBattery << false << true;
    row("TT stays low")          << true  << true  << true  << true  << "0" << "1" << QStringList{} << QStringList{} << LowBattery << true << true;
    row("FT low on mains")       << false << true  << false << true  << "0" << "1" << QStringList{} << QStringList{} << LowBattery << false << true;
    row("TT mains back, low")    << true  << true  << false << true  << "0" << "1" << QStringList{Recovered} << QStringList{main} << LowBattery << false << true;
    row("TT low clears, stop")   << true  << true  << true  << false << "0" << "1" << QStringList{LowRecovered} << QStringList{sOk} << OnBattery << false << false;
    row("TT low clears, go on")  << true  << true  << true  << false << "0" << "0" << QStringList{LowRecovered} << QStringList{sOk} << OnBattery << true << false;
    row("FT low clears on batt") << false << true  << true  << false << "0" << "1" << QStringList{Failed, LowRecovered} << QStringList{sOk, sOk} << OnBattery << false << false;
    row("FT all clear")          << false << true  << false << false << "0" << "1" << QStringList{LowRecovered} << QStringList{main} << OnLine << false << false;
    row("TT all clear")          << true  << true  << false << false << "0" << "1" << QStringList{Recovered, LowRecovered} << QStringList{main, main} << OnLine << false << false;
    // clang-format on
}

void TestPowerMonitor::transitionTable()
{
    QFETCH(bool, fBefore);
    QFETCH(bool, gBefore);
    QFETCH(bool, b);
    QFETCH(bool, l);
    QFETCH(QString, lowDisable);
    QFETCH(QString, lowShutdown);
    QFETCH(QStringList, records);
    QFETCH(QStringList, tray);
    QFETCH(QString, display);
    QFETCH(bool, fAfter);
    QFETCH(bool, gAfter);

    EngineFixture f(serialSettings(lowDisable, lowShutdown));
    f.start();
    for (const auto& [cts, dcd] : prepare(fBefore, gBefore)) {
        f.serialLines(cts, dcd);
        f.tick();
    }
    const PowerMonitor& monitor = f.engine().monitor();
    QCOMPARE(monitor.upsOnBattFlag(), fBefore);
    QCOMPARE(monitor.upsLowBattFlag(), gBefore);
    f.takeAppended();
    f.takeTray();

    f.serialLines(b, l);
    f.tick();

    QStringList logged;
    QStringList events;
    for (const auto& [table, text] : f.takeAppended())
        (table == RecordTableId::Log ? logged : events).append(text);
    QCOMPARE(logged, records);
    QCOMPARE(events, records);
    QCOMPARE(f.takeTray(), tray);
    QCOMPARE(f.engine().display().message(), display);
    QCOMPARE(monitor.upsOnBattFlag(), fAfter);
    QCOMPARE(monitor.upsLowBattFlag(), gAfter);
}

void TestPowerMonitor::lowBatteryDisabledRepeatsEntryActions()
{
    EngineFixture f(serialSettings(QStringLiteral("1"), QStringLiteral("1")));
    f.start();
    f.takeTray();
    f.takeAppended();
    f.serialLines(true, true);
    for (int i = 0; i < 3; ++i) {
        f.tick();
        QCOMPARE(f.takeTray(), QStringList{QStringLiteral("ImaSLow|UPS is low battery")});
        // The countdown is armed afresh every tick and so never runs out.
        QCOMPARE(f.engine().countdown().shutdownDelay(), 60);
    }
    f.advance(1000);
    QVERIFY(f.engine().countdown().shutdownDelay() < 60);
    f.serialLines(false, false);
    f.tick();
    QVERIFY(f.takeAppended().isEmpty()); // disabled: no record, and no clearing without a latch
}

void TestPowerMonitor::secondLowReadingDecidesLowBlock()
{
    // A port whose DCD line answers a scripted sequence, to change between the two reads of a tick.
    class ScriptedPort : public SimulatedSerialPort
    {
    public:
        QList<bool> dcdReads;
        bool dcd() override { return dcdReads.isEmpty() ? SimulatedSerialPort::dcd() : dcdReads.takeFirst(); }
    };

    QTemporaryDir dir;
    const AppPaths paths(dir.path());
    for (const auto& [key, value] : serialSettings())
        QVERIFY(WriteIni(paths.settingsFile(), key, value).ok());
    SimulatedPlatform p;
    ScriptedPort port;
    port.setCts(true);
    MonitorEngine engine(paths,
                         {p.scheduler, p.halvic, port, p.messages, p.tray, p.powerOff, p.processStarter});
    engine.loadMainWindow();

    port.dcdReads = {true, false};
    p.scheduler.advanceBy(PowerMonitor::PollIntervalMs);
    QVERIFY(engine.monitor().lowBattLevel());
    QVERIFY(!engine.monitor().upsOnBattFlag());  // the on-battery block was skipped
    QVERIFY(!engine.monitor().upsLowBattFlag()); // and the low block did not run either
    QCOMPARE(engine.display().message(), QString());

    port.dcdReads = {false, true};
    p.scheduler.advanceBy(PowerMonitor::PollIntervalMs);
    QVERIFY(!engine.monitor().lowBattLevel());
    QVERIFY(engine.monitor().upsOnBattFlag());
    QVERIFY(engine.monitor().upsLowBattFlag());
    QCOMPARE(engine.display().message(), LowBattery);
}

void TestPowerMonitor::lostUsbLinkFreezesTheMachine()
{
    EngineFixture f({{key::ComboPort, "0"},
                     {key::Recordlog(EventSection::OnBattery), "1"},
                     {key::Shutdown(EventSection::OnBattery), "1"},
                     {key::Delaytime(EventSection::OnBattery), "1"}});
    f.start();
    QCOMPARE(f.engine().display().message(), QString()); // design text until the first tick
    f.platform().halvic.setUpsState(SimulatedHalvic::UpsState::OnBattery);
    f.tick();
    QVERIFY(f.engine().monitor().upsOnBattFlag());
    QVERIFY(f.engine().countdown().isRunning());
    f.advance(1000);
    const qint32 delayBefore = f.engine().countdown().shutdownDelay();

    f.platform().halvic.setUpsState(SimulatedHalvic::UpsState::Silent);
    f.takeTray();
    f.takeAppended();
    f.tick();
    QCOMPARE(f.engine().display().message(), QStringLiteral("UPS Disconnect"));
    QCOMPARE(f.engine().display().messageColor(), StatusDisplay::Orange);
    QCOMPARE(f.engine().countdown().lblAlarm(), QStringLiteral(" "));
    QVERIFY(f.engine().display().isVisible(StatusDisplay::ImaAlarm));
    QCOMPARE(f.takeTray(), QStringList{QStringLiteral("ImaMain|Brevant")});
    const int opensBefore = f.platform().halvic.hidHandleCount();
    f.advance(2200 * 3);
    // Every lost tick reopens the device; the countdown pauses.
    QCOMPARE(f.platform().halvic.hidHandleCount(), opensBefore + 3);
    QCOMPARE(f.engine().countdown().shutdownDelay(), delayBefore - 1);
    QVERIFY(f.engine().monitor().upsOnBattFlag());
    QVERIFY(f.takeAppended().isEmpty());

    f.platform().halvic.setUpsState(SimulatedHalvic::UpsState::OnBattery);
    f.takeTray();
    f.tick();
    QCOMPARE(f.engine().display().message(), OnBattery);
    QVERIFY(f.takeTray().isEmpty()); // no latch changed, so no event action
    // The count goes on from where it paused.
    f.advance(1000);
    QVERIFY(f.engine().countdown().shutdownDelay() < delayBefore - 1);
    QVERIFY(f.engine().countdown().lblAlarm().startsWith(u"System ShutDown After"));
}

void TestPowerMonitor::linkSwitchCarriesLatchesOver()
{
    EngineFixture f({{key::ComboPort, QStringLiteral("0")}});
    f.start();
    f.platform().halvic.setUpsState(SimulatedHalvic::UpsState::OnBattery);
    f.tick();
    QVERIFY(f.engine().monitor().upsOnBattFlag());
    QVERIFY(f.engine().monitor().usbLinkMode());

    // The user moves to COM1, where the UPS still reports the mains failure.
    f.set(key::ComboPort, QStringLiteral("1"));
    f.engine().links().switchToChosenLink();
    f.serialLines(true, false);
    f.takeAppended();
    f.tick();
    QVERIFY(!f.engine().monitor().usbLinkMode());
    QVERIFY(f.engine().monitor().upsOnBattFlag());
    QVERIFY(f.takeAppended().isEmpty()); // not a new power failure

    f.serialLines(false, false);
    f.takeTray();
    f.tick();
    QCOMPARE(f.takeTray(), QStringList{QStringLiteral("ImaMain|Quillon System")});
}

// A mains failure that lasts one tick is a whole event: recorded, then undone.
void TestPowerMonitor::singleTickOnBatteryIsAFullEventAndItsReverse()
{
    EngineFixture f(serialSettings());
    f.start();
    f.serialLines(true, false);
    f.tick();
    QVERIFY(f.engine().countdown().isRunning());
    f.serialLines(false, false);
    f.tick();
    QVERIFY(!f.engine().countdown().isRunning());
    QCOMPARE(f.engine().countdown().lblAlarm(), QString());
    QCOMPARE(f.messages(RecordTableId::UpsEvent), (QStringList{Failed, Recovered}));
}

QTEST_GUILESS_MAIN(TestPowerMonitor)
#include "tst_powermonitor.moc"
