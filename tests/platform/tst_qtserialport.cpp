// The real QSerialPort path on a pseudo-terminal. The modem-line shim (LD_PRELOAD, set by CTest)
// gives the pty slave CTS, DCD, DTR and RTS through a state file, and raises DTR and RTS when the
// slave is opened, as a serial driver does. Every BREVANT_COMn points at a pty or a missing path:
// no real serial device is ever opened.
#include "link/SerialLink.h"
#include "platform/qt/QtSerialPort.h"

#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>
#include <dlfcn.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

using namespace brevant;

namespace {

class PseudoTerminal
{
public:
    PseudoTerminal()
        : m_master(posix_openpt(O_RDWR | O_NOCTTY))
    {
        if (m_master >= 0 && grantpt(m_master) == 0 && unlockpt(m_master) == 0)
            m_slave = QString::fromLocal8Bit(ptsname(m_master));
    }
    ~PseudoTerminal()
    {
        if (m_master >= 0)
            ::close(m_master);
    }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    const QString& slave() const { return m_slave; }

private:
    int m_master;
    QString m_slave;
};

} // namespace

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

private:
    void setLines(bool cts, bool dcd);
    QMap<QString, int> state() const;

    QTemporaryDir m_dir;
    PseudoTerminal m_pty;
    QString m_stateFile;
};

void QtSerialPortTest::initTestCase()
{
    QVERIFY2(dlsym(RTLD_DEFAULT, "brevant_modemshim_active"),
             "run through CTest: the modem-line shim is missing");
    QVERIFY(m_dir.isValid());
    QVERIFY(!m_pty.slave().isEmpty());
    m_stateFile = m_dir.filePath(QStringLiteral("modemlines"));
    qputenv("BREVANT_MODEMSHIM_STATE", QFile::encodeName(m_stateFile));
    qputenv("BREVANT_COM1", QFile::encodeName(m_pty.slave()));
    for (const char* unused : {"BREVANT_COM2", "BREVANT_COM3", "BREVANT_COM4"})
        qputenv(unused, QFile::encodeName(m_dir.filePath(QStringLiteral("no-such-tty"))));
}

void QtSerialPortTest::init()
{
    QFile file(m_stateFile);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("CTS=0\nDCD=0\nDTR=0\nRTS=0\n");
}

void QtSerialPortTest::setLines(bool cts, bool dcd)
{
    QMap<QString, int> lines = state();
    lines[QStringLiteral("CTS")] = cts;
    lines[QStringLiteral("DCD")] = dcd;
    QFile file(m_stateFile);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    for (auto it = lines.cbegin(); it != lines.cend(); ++it)
        file.write(QStringLiteral("%1=%2\n").arg(it.key()).arg(it.value()).toLatin1());
}

QMap<QString, int> QtSerialPortTest::state() const
{
    QMap<QString, int> lines;
    QFile file(m_stateFile);
    if (!file.open(QIODevice::ReadOnly))
        return lines;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> parts = line.split('=');
        if (parts.size() == 2)
            lines.insert(QString::fromLatin1(parts[0]), parts[1].toInt());
    }
    return lines;
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
        QCOMPARE(state().value(QStringLiteral("DTR"), -1), 0);
        QCOMPARE(state().value(QStringLiteral("RTS"), -1), 1);
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
    setLines(cts, dcd);
    QCOMPARE(link.onBattery(), cts);
    QCOMPARE(link.batteryLow(), dcd);
    QCOMPARE(state().value(QStringLiteral("DTR"), -1), 0); // reading writes nothing
}

void QtSerialPortTest::upsOffRaisesDtr()
{
    QtSerialPort port;
    SerialLink link(port);
    link.setCommPort(1);
    link.open();
    link.switchUpsOff();
    QVERIFY(link.isOpen());
    QCOMPARE(state().value(QStringLiteral("DTR"), -1), 1);
    QCOMPARE(state().value(QStringLiteral("RTS"), -1), 1);
}

void QtSerialPortTest::unopenedPortReadsNothing()
{
    setLines(true, true);
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
    QVERIFY(!port.open(5));
}

QTEST_GUILESS_MAIN(QtSerialPortTest)
#include "tst_qtserialport.moc"
