// The Halvic library through the real loading path (QLibrary), on stand-ins built beside the test.
#include "link/UsbLink.h"
#include "platform/qt/LibraryHalvic.h"
#include "platform/sim/RecordingMessageBox.h"
#include "platform/sim/VirtualScheduler.h"

#include <QTest>

using namespace brevant;

namespace {

struct Loaded
{
    explicit Loaded(const QString& library)
        : halvic(library)
    {}
    LibraryHalvic halvic;
    RecordingMessageBox messages;
    VirtualScheduler scheduler;
    UsbLink link{halvic, messages, scheduler};
};

} // namespace

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
    Loaded l(qEnvironmentVariable("FAKE_HALVIC"));
    l.link.usbExchange(UsbLink::StatusQuery);
    QVERIFY(!l.link.usbConnected());

    QVERIFY(l.link.hidHandle().ok());
    l.link.usbExchange(UsbLink::StatusQuery);
    QVERIFY(l.link.usbConnected() && l.link.usbOnBattery() && l.link.usbLowBattery());
    l.link.usbExchange(UsbLink::UpsOff); // "S1"
    QVERIFY(l.link.usbConnected());

    QVERIFY(l.link.closeHandleDevice().ok());
    l.link.usbExchange(UsbLink::StatusQuery);
    QVERIFY(!l.link.usbConnected());
    QVERIFY(l.link.usbOnBattery());
    QVERIFY(l.messages.shown().isEmpty());
}

void TestLibraryHalvic::missingLibraryReportsEveryCall()
{
    Loaded l(QStringLiteral("HalvicNotInstalled"));
    const Status opened = l.link.hidHandle();
    QVERIFY(!opened.ok());
    QVERIFY2(opened.error().contains(u"HalvicNotInstalled"), qPrintable(opened.error()));
    QVERIFY(!l.link.closeHandleDevice().ok());
    QVERIFY(l.messages.shown().isEmpty());

    l.link.setUsbConnected(true);
    l.link.usbExchange(UsbLink::StatusQuery);
    l.link.usbExchange(UsbLink::UpsOff);
    QCOMPARE(l.messages.shown(), QStringList(2, opened.error()));
    QVERIFY(l.link.usbConnected());
}

void TestLibraryHalvic::missingFunctionStopsTheExchange()
{
    Loaded l(qEnvironmentVariable("FAKE_HALVIC_WITHOUT_CMDINPUT"));
    QVERIFY(l.link.hidHandle().ok());
    l.link.usbExchange(UsbLink::StatusQuery);
    QCOMPARE(l.messages.shown().size(), 1);
    QVERIFY2(l.messages.shown().constFirst().contains(u"CmdInput"),
             qPrintable(l.messages.shown().constFirst()));
    QVERIFY(!l.link.usbConnected());

    l.link.usbExchange(UsbLink::UpsOff); // answered "S1": CmdInput is not needed
    QCOMPARE(l.messages.shown().size(), 1);
}

QTEST_GUILESS_MAIN(TestLibraryHalvic)
#include "tst_libraryhalvic.moc"
