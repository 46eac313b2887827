#include "config/IniFile.h"
#include "config/Settings.h"
#include "link/ActiveLink.h"
#include "platform/sim/RecordingMessageBox.h"
#include "platform/sim/SimulatedHalvic.h"
#include "platform/sim/SimulatedSerialPort.h"
#include "platform/sim/VirtualScheduler.h"

#include <QTemporaryDir>
#include <QTest>

using namespace brevant;

namespace brevant {
char* toString(const UpsState& state)
{
    return QTest::toString(QStringLiteral("connected=%1 onBattery=%2 batteryLow=%3")
                               .arg(state.connected)
                               .arg(state.onBattery)
                               .arg(state.batteryLow));
}
} // namespace brevant
Q_DECLARE_METATYPE(brevant::UpsState)

// Both links behind the choice in a real settings file.
struct Links
{
    explicit Links(const QString& comboPort)
        : settings(dir.filePath(QStringLiteral("UpsConfigure.ini")))
    {
        choose(comboPort);
    }
    void choose(const QString& comboPort)
    {
        QVERIFY(WriteIni(settings.fileName(), key::ComboPort, comboPort).ok());
    }

    QTemporaryDir dir;
    Settings settings;
    SimulatedHalvic halvic;
    SimulatedSerialPort port{3};
    RecordingMessageBox messages;
    VirtualScheduler scheduler;
    UsbLink usb{halvic, messages, scheduler};
    SerialLink serial{port};
    ActiveLink links{settings, usb, serial};
};

class TestActiveLink : public QObject
{
    Q_OBJECT

private slots:
    void choiceIsReadAtEveryUse_data();
    void choiceIsReadAtEveryUse();
    void serialLines_data();
    void serialLines();
    void startupOpensTheChosenPortWithDtrLow();
    void switchMovesToTheNewPortWithoutRaisingDtr_data();
    void switchMovesToTheNewPortWithoutRaisingDtr();
    void switchToUsbClosesThePortAndReopensTheDevice();
    void exitClosesBoth();
    void serialUpsOffRaisesDtrOnce();
};

void TestActiveLink::choiceIsReadAtEveryUse_data()
{
    QTest::addColumn<QString>("comboPort");
    QTest::addColumn<bool>("serial");
    QTest::newRow("0") << "0" << false;
    QTest::newRow("3") << "3" << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("letters") << "COM2" << false;
    QTest::newRow("-1") << "-1" << false;
}

void TestActiveLink::choiceIsReadAtEveryUse()
{
    QFETCH(QString, comboPort);
    QFETCH(bool, serial);
    Links l(QStringLiteral("0"));
    QCOMPARE(l.links.current().kind(), UpsLink::Kind::Usb);
    l.choose(comboPort);
    QCOMPARE(l.links.current().kind(), serial ? UpsLink::Kind::Serial : UpsLink::Kind::Usb);
}

void TestActiveLink::serialLines_data()
{
    QTest::addColumn<bool>("openFails");
    QTest::addColumn<bool>("cts");
    QTest::addColumn<bool>("dcd");
    QTest::addColumn<UpsState>("state");
    QTest::newRow("on mains") << false << false << false << UpsState{true, false, false};
    QTest::newRow("on battery") << false << true << false << UpsState{true, true, false};
    QTest::newRow("on battery, low") << false << true << true << UpsState{true, true, true};
    QTest::newRow("DCD without CTS") << false << false << true << UpsState{true, false, true};
    QTest::newRow("port could not be opened") << true << true << true << UpsState{true, false, false};
}

void TestActiveLink::serialLines()
{
    QFETCH(bool, openFails);
    QFETCH(bool, cts);
    QFETCH(bool, dcd);
    QFETCH(UpsState, state);
    Links l(QStringLiteral("3"));
    l.port.setOpenFails(openFails);
    l.port.setCts(cts);
    l.port.setDcd(dcd);
    l.links.openAtStartup();
    QVERIFY(l.links.firstStatus());
    QCOMPARE(l.links.current().state(), state);
}

void TestActiveLink::startupOpensTheChosenPortWithDtrLow()
{
    Links l(QStringLiteral("1"));
    l.links.openAtStartup();
    QVERIFY(l.port.isOpen());
    QCOMPARE(l.port.portNumber(), 1);
    QVERIFY(l.port.rts());
    QVERIFY(!l.port.dtr());
    QCOMPARE(l.port.dtrRaiseCount(), 0);
    QCOMPARE(l.halvic.hidHandleCount(), 0); // the USB device is not touched
}

void TestActiveLink::switchMovesToTheNewPortWithoutRaisingDtr_data()
{
    QTest::addColumn<QString>("start");
    QTest::newRow("COM1 to COM3") << "1";
    QTest::newRow("COM3 to COM3") << "3";
    QTest::newRow("USB to COM3") << "0";
}

void TestActiveLink::switchMovesToTheNewPortWithoutRaisingDtr()
{
    QFETCH(QString, start);
    Links l(start);
    l.port.setCts(true);
    l.links.openAtStartup();
    l.halvic.setUpsState(SimulatedHalvic::UpsState::Online);
    QVERIFY(l.links.firstStatus());
    l.choose(QStringLiteral("3"));
    l.links.switchToChosenLink();

    QCOMPARE(l.port.portNumber(), 3);
    QCOMPARE(l.port.openCount(), start == u"0" ? 1 : 2);
    QVERIFY(l.port.rts());
    QVERIFY(!l.port.dtr());
    QVERIFY(!l.halvic.deviceOpen());
    QVERIFY(l.links.current().state().onBattery);
}

void TestActiveLink::switchToUsbClosesThePortAndReopensTheDevice()
{
    Links l(QStringLiteral("0"));
    QVERIFY(l.links.firstStatus());
    l.choose(QStringLiteral("2"));
    l.links.switchToChosenLink();
    QVERIFY(l.port.isOpen());
    l.choose(QStringLiteral("0"));
    l.links.switchToChosenLink();
    QVERIFY(!l.port.isOpen());
    QVERIFY(!l.links.current().answering());
    l.links.current().query();
    QVERIFY(l.links.current().answering());
    QCOMPARE(l.halvic.hidHandleCount(), 2);
}

void TestActiveLink::exitClosesBoth()
{
    Links l(QStringLiteral("2"));
    l.links.openAtStartup();
    l.halvic.setUpsState(SimulatedHalvic::UpsState::Online);
    l.usb.open();
    l.links.closeAtExit();
    QVERIFY(!l.port.isOpen());
    QVERIFY(!l.halvic.deviceOpen());
}

void TestActiveLink::serialUpsOffRaisesDtrOnce()
{
    Links l(QStringLiteral("1"));
    l.links.openAtStartup();
    l.links.current().switchUpsOff();
    QVERIFY(l.port.isOpen());
    QVERIFY(l.port.dtr());
    QCOMPARE(l.port.dtrRaiseCount(), 1);
    QCOMPARE(l.halvic.upsOffCount(), 0);
}

QTEST_GUILESS_MAIN(TestActiveLink)
#include "tst_activelink.moc"
