#include "link/UsbLink.h"
#include "platform/qt/LibraryHalvic.h"
#include "platform/sim/RecordingMessageBox.h"
#include "platform/sim/VirtualScheduler.h"

#include <QTest>

using namespace brevant;

class TestLibraryHalvic : public QObject
{
    Q_OBJECT

private slots:
    void exchangesThroughTheLibrary();
    void missingLibraryReportsEveryCall();
    void missingFunctionStopsTheExchange();
};

void TestLibraryHalvic::exchangesThroughTheLibrary()
{
    const QString path = qEnvironmentVariable("FAKE_HALVIC");
    QVERIFY2(!path.isEmpty(), "FAKE_HALVIC names the stand-in library");
    LibraryHalvic library(path);
    RecordingMessageBox messages;
    VirtualScheduler scheduler;
    UsbLink link(library, messages, scheduler);

    link.usbExchange(UsbLink::StatusQuery);
    QVERIFY(!link.usbConnected());

    QVERIFY(link.hidHandle().ok());
    link.usbExchange(UsbLink::StatusQuery);
    QVERIFY(link.usbConnected());
    QVERIFY(link.usbOnBattery());
    QVERIFY(link.usbLowBattery());

    link.usbExchange(UsbLink::UpsOff); // "S1"
    QVERIFY(link.usbConnected());

    QVERIFY(link.closeHandleDevice().ok());
    link.usbExchange(UsbLink::StatusQuery);
    QVERIFY(!link.usbConnected());
    QVERIFY(link.usbOnBattery());
    QVERIFY(messages.shown().isEmpty());
}

void TestLibraryHalvic::missingLibraryReportsEveryCall()
{
    LibraryHalvic library(QStringLiteral("HalvicNotInstalled"));
    RecordingMessageBox messages;
    VirtualScheduler scheduler;
    UsbLink link(library, messages, scheduler);

    const Status opened = link.hidHandle();
    QVERIFY(!opened.ok());
    QVERIFY2(opened.error().contains(u"HalvicNotInstalled"), qPrintable(opened.error()));
    QVERIFY(!link.closeHandleDevice().ok());
    QVERIFY(messages.shown().isEmpty());

    link.setUsbConnected(true);
    link.usbExchange(UsbLink::StatusQuery);
    link.usbExchange(UsbLink::UpsOff);
    QCOMPARE(messages.shown(), QStringList(2, opened.error()));
    QVERIFY(link.usbConnected());
}

void TestLibraryHalvic::missingFunctionStopsTheExchange()
{
    const QString path = qEnvironmentVariable("FAKE_HALVIC_WITHOUT_CMDINPUT");
    QVERIFY(!path.isEmpty());
    LibraryHalvic library(path);
    RecordingMessageBox messages;
    VirtualScheduler scheduler;
    UsbLink link(library, messages, scheduler);

    QVERIFY(link.hidHandle().ok());
    link.usbExchange(UsbLink::StatusQuery);
    QCOMPARE(messages.shown().size(), 1);
    QVERIFY2(messages.shown().constFirst().contains(u"CmdInput"), qPrintable(messages.shown().constFirst()));
    QVERIFY(!link.usbConnected());

    link.usbExchange(UsbLink::UpsOff); // answered "S1": CmdInput is not needed
    QCOMPARE(messages.shown().size(), 1);
}

QTEST_GUILESS_MAIN(TestLibraryHalvic)
#include "tst_libraryhalvic.moc"
