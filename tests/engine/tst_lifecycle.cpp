#include "EngineFixture.h"
#include "TestFiles.h"
#include "engine/WindowsModel.h"
#include "link/UsbLink.h"
#include "monitor/StatusDisplay.h"
#include "shutdown/AlarmController.h"
#include "shutdown/Countdown.h"
#include "shutdown/SaveListController.h"

#include <QTest>

using namespace brevant;
using testsupport::EngineFixture;

class TestLifecycle : public QObject
{
    Q_OBJECT

private slots:
    void usbStartShowsTheFirstState_data();
    void usbStartShowsTheFirstState();
    void serialStartOpensThePortWithDtrLow();
    void failingStepsDoNotStopTheStart();
    void exitUndoesTheStart();
    void linkChoiceAppliesAtOnceAndReloadsTheDelay();
    void saveListComesFirst();
    void importClosedApps_data();
    void importClosedApps();
};

void TestLifecycle::usbStartShowsTheFirstState_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("animated");
    using S = SimulatedHalvic::UpsState;
    QTest::newRow("no UPS") << int(S::Silent) << QStringLiteral("UPS Disconnect") << false;
    // The first display runs before any tick has read the link, so the mains animation starts.
    QTest::newRow("UPS answers") << int(S::Online) << QString() << true;
}

void TestLifecycle::usbStartShowsTheFirstState()
{
    QFETCH(int, state);
    QFETCH(QString, message);
    QFETCH(bool, animated);
    EngineFixture f({{key::ComboPort, QStringLiteral("0")}});
    f.platform().halvic.setUpsState(SimulatedHalvic::UpsState(state));
    f.start();
    QCOMPARE(f.engine().display().message(), message);
    QCOMPARE(f.engine().display().isRunning(StatusDisplay::Timer4), animated);
    QVERIFY(f.engine().display().isVisible(StatusDisplay::ImageAC1));
    QCOMPARE(f.messages(RecordTableId::Log), QStringList{QStringLiteral("Program start")});
    QCOMPARE(f.takeTray().first(), QStringLiteral("ImaMain|Brevant"));
    QVERIFY(!f.engine().windows().isVisible(WindowsModel::frmMain));
}

void TestLifecycle::serialStartOpensThePortWithDtrLow()
{
    EngineFixture f({{key::ComboPort, QStringLiteral("1")}});
    f.serialLines(true, true); // the first display ignores the lines until the first tick
    f.start();
    const SimulatedSerialPort& port = f.platform().serialPort;
    QVERIFY(port.isOpen());
    QCOMPARE(port.portNumber(), 1);
    QVERIFY(port.rts());
    QVERIFY(!port.dtr()); // DTR high would switch the UPS off
    QVERIFY(f.engine().display().isRunning(StatusDisplay::Timer4));
    QCOMPARE(f.platform().halvic.hidHandleCount(), 0);
    f.tick();
    QCOMPARE(f.engine().display().message(), QStringLiteral("UPS is Low Battery"));
}

void TestLifecycle::failingStepsDoNotStopTheStart()
{
    // A port that cannot be opened and databases in a directory that cannot hold them.
    EngineFixture f({{key::ComboPort, QStringLiteral("2")}});
    f.platform().serialPort.setOpenFails(true);
    f.start();
    QVERIFY(f.platform().tray.isShown());
    QVERIFY(f.engine().display().isVisible(StatusDisplay::ImageAC1));
    f.serialLines(true, false);
    f.tick();
    QCOMPARE(f.engine().display().message(), QStringLiteral("UPS is on-line")); // unopened lines read clear
}

void TestLifecycle::exitUndoesTheStart()
{
    EngineFixture f({{key::ComboPort, QStringLiteral("1")},
                     {key::Shutdown(EventSection::OnBattery), QStringLiteral("1")},
                     {key::Delaytime(EventSection::OnBattery), QStringLiteral("0")}});
    f.start();
    f.serialLines(true, false);
    f.advance(2200 + 1000 + 500); // the alarm window is up
    QVERIFY(f.engine().alarm().isLoaded());
    f.engine().exit();
    QVERIFY(!f.engine().alarm().isLoaded());
    QVERIFY(!f.platform().serialPort.isOpen());
    QVERIFY(!f.platform().tray.isShown());
    QVERIFY(!f.platform().halvic.deviceOpen());
    QVERIFY(f.engine().records().open()); // the exit closed the databases
    const QStringList log = f.messages(RecordTableId::Log);
    QCOMPARE(log.count(QStringLiteral("Program start")), 1);
    QCOMPARE(log.last(), QStringLiteral("Program quit"));
    QCOMPARE(f.get(key::ShutDown), QString()); // nothing written at exit
}

void TestLifecycle::linkChoiceAppliesAtOnceAndReloadsTheDelay()
{
    EngineFixture f({{key::Shutdown(EventSection::OnBattery), QStringLiteral("1")},
                     {key::Delaytime(EventSection::OnBattery), QStringLiteral("5")},
                     {key::Delaytime(EventSection::LowBattery), QStringLiteral("0.5")}});
    f.start();
    f.platform().halvic.setUpsState(SimulatedHalvic::UpsState::OnBattery);
    f.tick();
    f.advance(3000);
    const qint32 running = f.engine().countdown().shutdownDelay();
    QVERIFY(running < 300);

    f.set(key::ComboPort, QStringLiteral("2"));
    f.engine().applyLinkChoice();
    QCOMPARE(f.engine().countdown().shutdownDelay(), 300); // full on-battery delay, timer untouched
    QVERIFY(f.engine().countdown().isRunning());
    QCOMPARE(f.platform().serialPort.portNumber(), 2);

    f.set(key::ComboPort, QStringLiteral("0"));
    f.engine().applyLinkChoice();
    QVERIFY(!f.platform().serialPort.isOpen());
    QVERIFY(!f.engine().usb().usbConnected()); // the next tick reopens the device
    f.tick();
    QVERIFY(f.engine().usb().usbConnected());
}

void TestLifecycle::saveListComesFirst()
{
    EngineFixture f({{key::SaveList, QStringLiteral("1")}});
    QStringList order;
    connect(&f.engine().windows(), &WindowsModel::visibilityChanged, this,
            [&](WindowsModel::Window w, bool visible) {
                if (visible)
                    order.append(w == WindowsModel::frmSave ? QStringLiteral("save")
                                                            : QStringLiteral("main"));
            });
    f.platform().tray.onReplace = [&](const SimulatedTray::Icon&) { order.append(QStringLiteral("tray")); };
    f.engine().finishSplash();
    QCOMPARE(order, (QStringList{QStringLiteral("save"), QStringLiteral("tray")}));
    QVERIFY(!f.engine().windows().isVisible(WindowsModel::frmMain));
}

void TestLifecycle::importClosedApps_data()
{
    QTest::addColumn<QString>("flag");
    QTest::addColumn<QByteArray>("closeAppIni");
    QTest::addColumn<QStringList>("imported");

    const QByteArray one = "[CloseApp]\nCount=1\n1=Writer\n[SaveAppFileName]\n1=/home/u/a.odt\n";
    QTest::newRow("flag clear: nothing") << "0" << one << QStringList{};
    QTest::newRow("flag 01 counts as 1") << "01" << one << QStringList{QStringLiteral("Writer")};
    QTest::newRow("count not a number") << "1" << QByteArray("[CloseApp]\nCount=two\n") << QStringList{};
    QTest::newRow("no list file") << "1" << QByteArray() << QStringList{};
}

void TestLifecycle::importClosedApps()
{
    QFETCH(QString, flag);
    QFETCH(QByteArray, closeAppIni);
    QFETCH(QStringList, imported);
    EngineFixture f({{key::CloseAppFlag, flag}, {key::SaveList, QStringLiteral("1")}});
    if (!closeAppIni.isEmpty())
        testsupport::writeFile(f.paths().closeAppList(), closeAppIni);
    f.engine().finishSplash();
    QStringList apps;
    for (const QStringList& row : f.engine().records().rows(RecordTableId::CloseApp))
        apps.append(row.value(2));
    QCOMPARE(apps, imported);
    // The flag is reset whenever it asked for an import, even when nothing could be taken over.
    QCOMPARE(f.get(key::CloseAppFlag), flag == u"0" ? flag : QStringLiteral("0"));
    QCOMPARE(f.engine().saveList().sortedView(), flag != u"0");
}

QTEST_GUILESS_MAIN(TestLifecycle)
#include "tst_lifecycle.moc"
