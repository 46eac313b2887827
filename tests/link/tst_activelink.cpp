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
    void choiceIsReadAtEveryUse();
    void switchMovesToTheNewPortWithoutRaisingDtr_data();
    void switchMovesToTheNewPortWithoutRaisingDtr();
};

void TestActiveLink::choiceIsReadAtEveryUse()
{
    Links l(QStringLiteral("0"));
    QCOMPARE(l.links.current().kind(), UpsLink::Kind::Usb);
    l.choose(QStringLiteral("3"));
    QCOMPARE(l.links.current().kind(), UpsLink::Kind::Serial);
    l.choose(QStringLiteral("COM2"));
    QCOMPARE(l.links.current().kind(), UpsLink::Kind::Usb);
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
    QCOMPARE(l.port.dtrRaiseCount(), 0);
    QVERIFY(!l.halvic.deviceOpen());
    QVERIFY(l.links.current().state().onBattery);
}

QTEST_GUILESS_MAIN(TestActiveLink)
#include "tst_activelink.moc"
