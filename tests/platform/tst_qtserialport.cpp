// The real QSerialPort path on a pseudo-terminal. The modem-line shim (LD_PRELOAD, set by CTest)
// gives the pty slave CTS, DCD, DTR and RTS through a state file, and raises DTR and RTS when the
// slave is opened, as a serial driver does. Every BREVANT_COMn points at a pty or a missing path:
// no real serial device is ever opened.
#include "link/SerialLink.h"
#include "modemshim/ModemLines.h"
#include "platform/qt/QtSerialPort.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

using namespace brevant;
using testsupport::ModemLines;
using testsupport::PseudoTerminal;

class QtSerialPortTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void deviceNames_data();
    void deviceNames();
    void openLeavesDtrLowAndRtsHigh_data();
    void openLeavesDtrLowAndRtsHigh();
    void inputLines_data();
    void inputLines();
    void upsOffRaisesDtr();
    void unopenedPortReadsNothing();
    void openFailureSaysWhyAndWhatToDo_data();
    void openFailureSaysWhyAndWhatToDo();

private:
    int state(const char* line) const { return m_lines->line(QLatin1String(line)); }

    QTemporaryDir m_dir;
    PseudoTerminal m_pty;
    PseudoTerminal m_lockedPty;
    std::unique_ptr<ModemLines> m_lines;
};

void QtSerialPortTest::initTestCase()
{
    QVERIFY2(ModemLines::shimActive(), "run through CTest: the modem-line shim is missing");
    QVERIFY(m_dir.isValid());
    QVERIFY(!m_pty.slave().isEmpty() && !m_lockedPty.slave().isEmpty());
    m_lines = std::make_unique<ModemLines>(m_dir.filePath(QStringLiteral("modemlines")));
    qputenv("BREVANT_COM1", QFile::encodeName(m_pty.slave()));
    qputenv("BREVANT_COM2", QFile::encodeName(m_lockedPty.slave()));
    for (const char* unused : {"BREVANT_COM3", "BREVANT_COM4"})
        qputenv(unused, QFile::encodeName(m_dir.filePath(QStringLiteral("no-such-tty"))));
}

void QtSerialPortTest::init()
{
    m_lines->reset();
}

void QtSerialPortTest::deviceNames_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QByteArray>("override");
    QTest::addColumn<QString>("device");

    QTest::newRow("COM1") << 1 << QByteArray() << "/dev/ttyS0";
    QTest::newRow("COM4") << 4 << QByteArray() << "/dev/ttyS3";
    QTest::newRow("COM2 named by the environment") << 2 << QByteArray("/dev/ttyUSB0") << "/dev/ttyUSB0";
    QTest::newRow("no COM0") << 0 << QByteArray("/dev/ttyUSB0") << "";
    QTest::newRow("no COM5") << 5 << QByteArray("/dev/ttyUSB0") << "";
}

// Only names are computed here; nothing is opened.
void QtSerialPortTest::deviceNames()
{
    QFETCH(int, port);
    QFETCH(QByteArray, override);
    QFETCH(QString, device);

    const QByteArray variable = "BREVANT_COM" + QByteArray::number(port);
    const QByteArray saved = qgetenv(variable.constData());
    if (override.isEmpty())
        qunsetenv(variable.constData());
    else
        qputenv(variable.constData(), override);
    const QString name = QtSerialPort::deviceName(port);
    if (!saved.isEmpty())
        qputenv(variable.constData(), saved);
    QCOMPARE(name, device);
}

void QtSerialPortTest::openLeavesDtrLowAndRtsHigh_data()
{
    QTest::addColumn<bool>("atStartup");
    QTest::newRow("start-up") << true;
    QTest::newRow("port Apply in a run started on USB") << false;
}

void QtSerialPortTest::openLeavesDtrLowAndRtsHigh()
{
    QFETCH(bool, atStartup);

    QtSerialPort port;
    SerialLink link(port);
    for (int open = 0; open < 2; ++open) { // the second Apply of the same port closes and reopens it
        if (atStartup && open == 0) {
            link.setCommPort(1);
            link.open();
        } else {
            link.switchTo(1);
        }
        QVERIFY(link.isOpen());
        QCOMPARE(state("DTR"), 0);
        QCOMPARE(state("RTS"), 1);
    }
}

void QtSerialPortTest::inputLines_data()
{
    QTest::addColumn<bool>("cts");
    QTest::addColumn<bool>("dcd");
    QTest::newRow("on mains") << false << false;
    QTest::newRow("on battery") << true << false;
    QTest::newRow("on battery, low") << true << true;
    QTest::newRow("DCD alone") << false << true;
}

void QtSerialPortTest::inputLines()
{
    QFETCH(bool, cts);
    QFETCH(bool, dcd);

    QtSerialPort port;
    SerialLink link(port);
    link.setCommPort(1);
    link.open();
    m_lines->setInputs(cts, dcd);
    QCOMPARE(link.onBattery(), cts);
    QCOMPARE(link.batteryLow(), dcd);
    QCOMPARE(state("DTR"), 0); // reading writes nothing
}

void QtSerialPortTest::upsOffRaisesDtr()
{
    QtSerialPort port;
    SerialLink link(port);
    link.setCommPort(1);
    link.open();
    link.switchUpsOff();
    QVERIFY(link.isOpen());
    QCOMPARE(state("DTR"), 1);
    QCOMPARE(state("RTS"), 1);
}

void QtSerialPortTest::unopenedPortReadsNothing()
{
    m_lines->setInputs(true, true);
    QtSerialPort port;
    SerialLink link(port);
    link.setCommPort(3); // a missing device
    link.open();
    QVERIFY(!link.isOpen());
    QVERIFY(!link.onBattery());
    QVERIFY(!link.batteryLow());
    link.switchUpsOff();

    link.switchTo(1);
    QVERIFY(link.onBattery());
    link.close();
    QVERIFY(!link.onBattery());
    QVERIFY(!port.open(5).ok());
}

void QtSerialPortTest::openFailureSaysWhyAndWhatToDo_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("why");
    QTest::addColumn<QString>("whatToDo");
    QTest::newRow("missing device") << 3 << "does not exist"
                                    << "BREVANT_COM3";
    QTest::newRow("in use by another program") << 1 << "is in use by another program"
                                               << "Close that program";
    QTest::newRow("permission denied") << 2 << "permission denied"
                                       << "sudo adduser $USER";
    QTest::newRow("no such port") << 5 << "COM5 is not a serial port"
                                  << "COM1 to COM4";
}

// The reason names the port and its device, and says what the user can do.
void QtSerialPortTest::openFailureSaysWhyAndWhatToDo()
{
    QFETCH(int, port);
    QFETCH(QString, why);
    QFETCH(QString, whatToDo);
    QtSerialPort holder; // another program on COM1
    QVERIFY(holder.open(1).ok());
    if (port == 2) {
        if (geteuid() == 0)
            QSKIP("root may open any device: run as a user to see the permission message");
        QVERIFY(chmod(QFile::encodeName(m_lockedPty.slave()).constData(), 0) == 0);
    }

    QtSerialPort serial;
    const Status opened = serial.open(port);
    QVERIFY(!opened.ok());
    QVERIFY(!serial.isOpen());
    QVERIFY2(opened.error().contains(why), qPrintable(opened.error()));
    QVERIFY2(opened.error().contains(whatToDo), qPrintable(opened.error()));
    if (port <= 4)
        QVERIFY2(opened.error().contains(QtSerialPort::deviceName(port)), qPrintable(opened.error()));
    QCOMPARE(state("DTR"), 0); // the holder's DTR stays low
}

QTEST_GUILESS_MAIN(QtSerialPortTest)
#include "tst_qtserialport.moc"
