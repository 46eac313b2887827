#include "EngineFixture.h"
#include "TestFiles.h"
#include "engine/WindowsModel.h"
#include "link/UsbLink.h"
#include "monitor/StatusDisplay.h"
#include "shutdown/Countdown.h"
#include "shutdown/Readiness.h"

#include <QTest>

using namespace brevant;
using testsupport::EngineFixture;

class TestLifecycle : public QObject
{
    Q_OBJECT

private slots:
    void startShowsTheFirstState_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<int>("usbState");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("animated");
        QTest::addColumn<QString>("afterTick");
        using S = SimulatedHalvic::UpsState;
        QTest::newRow("USB, no UPS") << "0" << int(S::Silent) << "UPS Disconnect" << false
                                     << "UPS Disconnect";
        // The first display runs before any tick has read the link, so the mains animation starts.
        QTest::newRow("USB, UPS answers") << "0" << int(S::Online) << "" << true << "UPS is on-line";
        QTest::newRow("serial") << "1" << int(S::Silent) << "" << true << "UPS is Low Battery";
        // A port that cannot be opened does not stop the start; its unopened lines read clear.
        QTest::newRow("serial port fails") << "2" << int(S::Silent) << "" << true << "UPS is on-line";
    }

    void startShowsTheFirstState()
    {
        QFETCH(QString, port);
        QFETCH(int, usbState);
        EngineFixture f({{key::ComboPort, port}});
        f.platform().halvic.setUpsState(SimulatedHalvic::UpsState(usbState));
        f.platform().serialPort.setOpenFails(port == u"2"); // COM2 stands for a port that cannot be opened
        f.serialLines(true, true); // battery low, yet the first display ignores the lines until a tick
        f.start();
        QTEST(f.engine().display().message(), "message");
        QTEST(f.engine().display().isRunning(StatusDisplay::Timer4), "animated");
        QCOMPARE(f.takeTray().first(), QStringLiteral("ImaMain|Brevant"));
        QVERIFY(!f.engine().windows().isVisible(WindowsModel::frmMain));
        // On a serial link no USB device is opened, and the port is opened with DTR low: high would
        // switch the UPS off.
        const SimulatedSerialPort& serial = f.platform().serialPort;
        QCOMPARE(serial.isOpen() && serial.portNumber() == 1 && serial.rts() && !serial.dtr(), port == u"1");
        QCOMPARE(f.platform().halvic.hidHandleCount() == 0, port != u"0");
        f.tick();
        QTEST(f.engine().display().message(), "afterTick");

        // The exit undoes the start, and writes no settings.
        f.engine().exit();
        QVERIFY(!serial.isOpen() && !f.platform().tray.isShown() && !f.platform().halvic.deviceOpen());
        QVERIFY(f.engine().records().open().ok()); // the exit closed the databases
        QCOMPARE(f.messages(RecordTableId::Log), QStringList({"Program start", "Program quit"}));
        QCOMPARE(f.get(key::ShutDown), QString());
    }

    void linkChoiceAppliesAtOnceAndReloadsTheDelay()
    {
        EngineFixture f({{key::Shutdown(EventSection::OnBattery), QStringLiteral("1")},
                         {key::Delaytime(EventSection::OnBattery), QStringLiteral("5")},
                         {key::Delaytime(EventSection::LowBattery), QStringLiteral("0.5")}});
        f.start();
        f.platform().halvic.setUpsState(SimulatedHalvic::UpsState::OnBattery);
        f.tick();
        f.advance(3000);
        QVERIFY(f.engine().countdown().shutdownDelay() < 300);

        f.set(key::ComboPort, QStringLiteral("2"));
        f.engine().applyLinkChoice();
        QCOMPARE(f.engine().countdown().shutdownDelay(), 300); // full on-battery delay, timer untouched
        QVERIFY(f.engine().countdown().isRunning() && f.platform().serialPort.portNumber() == 2);
        f.set(key::ComboPort, QStringLiteral("0"));
        f.engine().applyLinkChoice();
        QVERIFY(!f.platform().serialPort.isOpen() &&
                !f.engine().usb().usbConnected()); // reopened at the next tick
        f.tick();
        QVERIFY(f.engine().usb().usbConnected());
    }

    void importClosedApps_data()
    {
        QTest::addColumn<QString>("flag");
        QTest::addColumn<QByteArray>("closeAppIni");
        QTest::newRow("flag clear: nothing")
            << "0" << QByteArray("[CloseApp]\nCount=1\n1=Writer\n[SaveAppFileName]\n1=/a.odt\n");
        QTest::newRow("no list file") << "1" << QByteArray();
    }

    void importClosedApps()
    {
        QFETCH(QString, flag);
        QFETCH(QByteArray, closeAppIni);
        EngineFixture f({{key::CloseAppFlag, flag}, {key::SaveList, QStringLiteral("1")}});
        if (!closeAppIni.isEmpty())
            testsupport::writeFile(f.paths().closeAppList(), closeAppIni);
        // The save list comes first, then the tray icon; the main window stays hidden.
        QStringList order;
        connect(&f.engine().windows(), &WindowsModel::visibilityChanged, this, [&](auto w, bool shown) {
            order.append(
                QStringLiteral("%1 %2").arg(w == WindowsModel::frmSave ? "save" : "main").arg(shown));
        });
        f.platform().tray.onReplace = [&](const auto&) { order.append(QStringLiteral("tray")); };
        f.engine().finishSplash();
        QCOMPARE(order, QStringList({"save 1", "tray"}));
        QVERIFY(f.engine().records().rows(RecordTableId::CloseApp).isEmpty());
        // The flag is reset whenever it asked for an import, even when nothing could be taken over.
        QCOMPARE(f.get(key::CloseAppFlag), flag == u"0" ? flag : QStringLiteral("0"));
    }

    void readinessNamesWhatStopsTheShutdown_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<bool>("portFails");
        QTest::addColumn<bool>("powerOffRefused");
        QTest::addColumn<QString>("verdict");
        QTest::newRow("protected") << "0" << false << false << "Protected — shutdown 1 min after battery low";
        QTest::newRow("serial port cannot be opened at start")
            << "1" << true << false
            << "Not protected: the UPS's serial port COM1 is not open (COM1 (simulated) is in use by another "
               "program.)";
        QTest::newRow("the system would not power off")
            << "0" << false << true << "Not protected: another user is logged in";
    }

    // Before any outage the program says what would stop the shutdown: the link, the system.
    void readinessNamesWhatStopsTheShutdown()
    {
        QFETCH(QString, port);
        QFETCH(bool, portFails);
        QFETCH(bool, powerOffRefused);
        EngineFixture f({{key::ComboPort, port},
                         {key::Shutdown(EventSection::LowBattery), QStringLiteral("1")},
                         {key::Delaytime(EventSection::LowBattery), QStringLiteral("1")}});
        f.platform().serialPort.setOpenFails(portFails);
        if (powerOffRefused)
            f.platform().powerOff.readiness = PowerOffReadiness::no(
                QStringLiteral("another user is logged in"), QStringLiteral("Log them out"));
        f.start();
        f.engine().startReadiness();
        QFETCH(QString, verdict);
        QVERIFY2(f.engine().readiness().verdict().text.startsWith(verdict),
                 qPrintable(f.engine().readiness().verdict().text));
        QCOMPARE(f.messages(RecordTableId::Log).filter(u"Not protected").size(),
                 verdict.startsWith(u"Not") ? 1 : 0);
    }
};

QTEST_GUILESS_MAIN(TestLifecycle)
#include "tst_lifecycle.moc"
