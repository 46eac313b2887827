// The OS Event Log page's port switch on the real serial-port adapter: COM1 is a pseudo-terminal
// whose modem lines the preloaded shim keeps in a file, COM2 a device that does not exist. No real
// serial device is ever opened.
#include "EngineFixture.h"
#include "TestFiles.h"
#include "config/FirstInstall.h"
#include "config/IniFile.h"
#include "config/ui/EventManagerPage.h"
#include "controls/XpCmdButton.h"
#include "link/SerialLink.h"
#include "modemshim/ModemLines.h"
#include "platform/qt/QtSerialPort.h"

#include <QComboBox>
#include <QTemporaryDir>
#include <QTest>

using namespace brevant;
using testsupport::ModemLines;
using testsupport::PseudoTerminal;

namespace {

// The whole engine with simulated devices except the serial port, which is the real adapter.
struct RealPortEngine
{
    RealPortEngine()
        : paths(dir.path())
        , engine(paths, {platform.scheduler, platform.halvic, port, platform.messages, platform.tray,
                         platform.powerOff, platform.processStarter})
        , page(engine)
    {
        testsupport::writeFile(paths.settingsFile(), firstInstallSettings());
        engine.loadMainWindow();
        page.show();
        page.EventMana();
        QTest::mouseClick(page.findChild<QWidget*>(QStringLiteral("OptOsLog")), Qt::LeftButton);
    }

    // Chooses a port entry with the keyboard and presses Apply.
    void apply(int position)
    {
        auto* combo = page.findChild<QComboBox*>(QStringLiteral("ComboPort"));
        combo->setFocus();
        QTest::keyClick(combo, Qt::Key_Home);
        for (int i = 0; i < position; ++i)
            QTest::keyClick(combo, Qt::Key_Down);
        QTest::mouseClick(page.findChild<XpCmdButton*>(QStringLiteral("Command5")), Qt::LeftButton);
    }

    QTemporaryDir dir;
    AppPaths paths;
    SimulatedPlatform platform;
    QtSerialPort port;
    MonitorEngine engine;
    EventManagerPage page;
};

} // namespace

class TestPortSwitch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(ModemLines::shimActive(), "run through CTest: the modem-line shim is missing");
        QVERIFY(!m_pty.slave().isEmpty());
        m_lines = std::make_unique<ModemLines>(m_dir.filePath(QStringLiteral("modemlines")));
        qputenv("BREVANT_COM1", QFile::encodeName(m_pty.slave()));
        for (const char* missing : {"BREVANT_COM2", "BREVANT_COM3", "BREVANT_COM4"})
            qputenv(missing, QFile::encodeName(m_dir.filePath(QStringLiteral("no-such-tty"))));
    }

    void usbToSerialOpensWithDtrLowAndBack()
    {
        RealPortEngine r;
        QVERIFY(r.platform.halvic.deviceOpen());
        r.apply(1);
        QVERIFY(r.port.isOpen());
        QVERIFY(!r.platform.halvic.deviceOpen());
        QCOMPARE(m_lines->line(QStringLiteral("DTR")), 0); // DTR high would switch the UPS off
        QCOMPARE(m_lines->line(QStringLiteral("RTS")), 1);
        m_lines->setInputs(true, false);
        QVERIFY(r.engine.serial().onBattery());

        r.apply(0);
        QVERIFY(!r.port.isOpen());
        QCOMPARE(m_lines->line(QStringLiteral("DTR")), 0);
        QVERIFY(r.platform.messages.messages().isEmpty());
    }

    void missingDeviceIsNamedAndTheChoiceSaved()
    {
        RealPortEngine r;
        r.apply(2);
        QVERIFY(!r.port.isOpen());
        QCOMPARE(ReadIni(r.paths.settingsFile(), key::ComboPort), QStringLiteral("2"));
        const auto& shown = r.platform.messages.messages();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().icon, MessageBoxPresenter::Icon::Warning);
        QVERIFY2(shown.first().text.contains(
                     QStringLiteral("COM2 (%1) does not exist").arg(QtSerialPort::deviceName(2))) &&
                     shown.first().text.contains(QStringLiteral("BREVANT_COM2")),
                 qPrintable(shown.first().text));

        r.apply(1); // a port that exists afterwards opens at the next Apply
        QVERIFY(r.port.isOpen());
        QCOMPARE(shown.size(), 1);
    }

private:
    QTemporaryDir m_dir;
    PseudoTerminal m_pty;
    std::unique_ptr<ModemLines> m_lines;
};

QTEST_MAIN(TestPortSwitch)
#include "tst_portswitch.moc"
