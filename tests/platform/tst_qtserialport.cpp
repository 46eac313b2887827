// The real QSerialPort path on a pseudo-terminal. The modem-line shim (LD_PRELOAD, set by CTest)
// gives the pty slave CTS, DCD, DTR and RTS through a state file, and raises DTR and RTS when the
// slave is opened, as a serial driver does. The ports the tests open are named by BREVANT_COMn
// after ptys: no real serial device is ever opened.
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

class TestQtSerialPort : public QObject
{
    Q_OBJECT

    int state(const char* line) const { return m_lines->line(QLatin1String(line)); }
    QList<int> outputs() const { return {state("DTR"), state("RTS")}; }

    QTemporaryDir m_dir;
    PseudoTerminal m_pty;
    PseudoTerminal m_lockedPty;
    std::unique_ptr<ModemLines> m_lines;

private slots:
    void initTestCase()
    {
        QVERIFY2(ModemLines::shimActive(), "run through CTest: the modem-line shim is missing");
        m_lines = std::make_unique<ModemLines>(m_dir.filePath(QStringLiteral("modemlines")));
        qputenv("BREVANT_COM1", QFile::encodeName(m_pty.slave()));
        qputenv("BREVANT_COM2", QFile::encodeName(m_lockedPty.slave()));
        QCOMPARE(QtSerialPort::deviceName(1), m_pty.slave()); // never the machine's own COM1
    }
    void init() { m_lines->reset(); }

    void linesAndUpsOff_data()
    {
        QTest::addColumn<bool>("atStartup");
        QTest::addColumn<bool>("cts");
        QTest::addColumn<bool>("dcd");
        QTest::newRow("start-up, CTS alone: on battery") << true << true << false;
        QTest::newRow("Apply in a run started on USB, DCD alone: battery low") << false << false << true;
    }
    // Opening leaves DTR low (high switches the UPS off) and RTS high, the second Apply of the same
    // port too, which closes and reopens it; reading the lines writes nothing.
    void linesAndUpsOff()
    {
        QFETCH(bool, atStartup);
        QFETCH(bool, cts);
        QFETCH(bool, dcd);
        QtSerialPort port;
        SerialLink link(port);
        link.setCommPort(1);
        for (int open = 0; open < 2; ++open) {
            if (atStartup && open == 0)
                QVERIFY(link.open().ok());
            else
                link.switchTo(1);
            QVERIFY(link.isOpen());
            QCOMPARE(outputs(), (QList{0, 1}));
        }
        m_lines->setInputs(cts, dcd);
        QCOMPARE((QList{link.onBattery(), link.batteryLow()}), (QList{cts, dcd}));
        QCOMPARE(state("DTR"), 0);
        link.sendUpsOff();
        QVERIFY(link.isOpen());
        QCOMPARE(outputs(), (QList{1, 1}));
        QVERIFY(link.close().ok());
        QVERIFY(!link.onBattery() && !link.batteryLow());
    }

    void openFailureSaysWhyAndReadsNothing_data()
    {
        QTest::addColumn<int>("port");
        QTest::addColumn<QStringList>("says"); // why, and what the user can do
        QTest::newRow("in use") << 1 << QStringList{"is in use by another program", "Close that program"};
        QTest::newRow("permission denied") << 2 << QStringList{"permission denied", "sudo adduser $USER"};
        QTest::newRow("no such port") << 5 << QStringList{"COM5 is not a serial port", "COM1 to COM4"};
    }
    // The lines of a port that is not open read clear, and the UPS-off request is a no-op on it.
    void openFailureSaysWhyAndReadsNothing()
    {
        QFETCH(int, port);
        QFETCH(QStringList, says);
        QtSerialPort holder; // another program on COM1
        QVERIFY(holder.open(1).ok());
        if (port == 2) {
            if (geteuid() == 0)
                QSKIP("root may open any device: run as a user to see the permission message");
            QVERIFY(chmod(QFile::encodeName(m_lockedPty.slave()).constData(), 0) == 0);
        }
        m_lines->setInputs(true, true);

        QtSerialPort serial;
        SerialLink link(serial);
        link.setCommPort(port);
        const QString error = link.open().error();
        QVERIFY(!link.isOpen());
        for (const QString& part : says)
            QVERIFY2(error.contains(part), qPrintable(error));
        QVERIFY(!link.onBattery() && !link.batteryLow());
        link.sendUpsOff();
        QCOMPARE(state("DTR"), 0); // the holder's DTR stays low
    }
};

QTEST_GUILESS_MAIN(TestQtSerialPort)
#include "tst_qtserialport.moc"
