#include "link/SerialLink.h"
#include "platform/sim/SimulatedSerialPort.h"

#include <QTest>

using namespace brevant;

class SerialLinkTest : public QObject
{
    Q_OBJECT

private slots:
    void lines_data();
    void lines();
    void startupOpensWithRtsHighAndDtrLow();
    void applyMovesToTheNewPortWithoutRaisingDtr_data();
    void applyMovesToTheNewPortWithoutRaisingDtr();
    void upsOffRaisesDtrOnceAndKeepsThePortOpen();
    void closedPortReadsNothing();
};

void SerialLinkTest::lines_data()
{
    QTest::addColumn<bool>("openFails");
    QTest::addColumn<bool>("cts");
    QTest::addColumn<bool>("dcd");
    QTest::addColumn<bool>("onBattery");
    QTest::addColumn<bool>("batteryLow");

    QTest::newRow("on mains") << false << false << false << false << false;
    QTest::newRow("on battery") << false << true << false << true << false;
    QTest::newRow("on battery, low") << false << true << true << true << true;
    QTest::newRow("DCD without CTS") << false << false << true << false << true;
    QTest::newRow("port could not be opened") << true << true << true << false << false;
}

void SerialLinkTest::lines()
{
    QFETCH(bool, openFails);
    QFETCH(bool, cts);
    QFETCH(bool, dcd);
    QFETCH(bool, onBattery);
    QFETCH(bool, batteryLow);

    SimulatedSerialPort port(2);
    port.setOpenFails(openFails);
    port.setCts(cts);
    port.setDcd(dcd);
    SerialLink link(port);
    link.openAtStartup(2);

    QCOMPARE(link.isOpen(), !openFails);
    QCOMPARE(link.onBattery(), onBattery);
    QCOMPARE(link.batteryLow(), batteryLow);
}

void SerialLinkTest::startupOpensWithRtsHighAndDtrLow()
{
    SimulatedSerialPort port;
    SerialLink link(port);
    link.openAtStartup(1);
    QVERIFY(port.isOpen());
    QCOMPARE(port.portNumber(), 1);
    QVERIFY(port.rts());
    QVERIFY(!port.dtr());
    QCOMPARE(port.dtrRaiseCount(), 0);
}

void SerialLinkTest::applyMovesToTheNewPortWithoutRaisingDtr_data()
{
    QTest::addColumn<int>("startPort"); // 0: the run started on USB
    QTest::newRow("COM1 to COM3") << 1;
    QTest::newRow("COM3 to COM3") << 3;
    QTest::newRow("USB to COM3") << 0;
}

void SerialLinkTest::applyMovesToTheNewPortWithoutRaisingDtr()
{
    QFETCH(int, startPort);

    SimulatedSerialPort port(3);
    port.setCts(true);
    SerialLink link(port);
    if (startPort > 0)
        link.openAtStartup(startPort);
    link.switchTo(3);

    QCOMPARE(port.portNumber(), 3);
    QCOMPARE(port.openCount(), startPort > 0 ? 2 : 1);
    QVERIFY(port.rts());
    QVERIFY(!port.dtr());
    QCOMPARE(port.dtrRaiseCount(), 0);
    QVERIFY(link.onBattery());
}

void SerialLinkTest::upsOffRaisesDtrOnceAndKeepsThePortOpen()
{
    SimulatedSerialPort port;
    SerialLink link(port);
    link.openAtStartup(1);
    link.raiseDtr();
    QVERIFY(port.isOpen());
    QVERIFY(port.dtr());
    QCOMPARE(port.dtrRaiseCount(), 1);
}

void SerialLinkTest::closedPortReadsNothing()
{
    SimulatedSerialPort port(4);
    port.setCts(true);
    port.setDcd(true);
    SerialLink link(port);
    link.openAtStartup(4);
    QVERIFY(link.onBattery());
    link.close();
    QVERIFY(!link.isOpen());
    QVERIFY(!link.onBattery());
    QVERIFY(!link.batteryLow());
    link.close(); // closing a closed port is harmless
    QVERIFY(!link.isOpen());
}

QTEST_GUILESS_MAIN(SerialLinkTest)
#include "tst_seriallink.moc"
