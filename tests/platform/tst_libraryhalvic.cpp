// The Halvic library through the real loading path (QLibrary), when it or one of its functions
// is missing.
#include "link/UsbLink.h"
#include "platform/qt/LibraryHalvic.h"
#include "platform/sim/RecordingMessageBox.h"

#include <QTest>

using namespace brevant;

class TestLibraryHalvic : public QObject
{
    Q_OBJECT

private slots:
    void callThatCannotBeMadeIsShown_data();
    void callThatCannotBeMadeIsShown();
    void valuesOnlyWhereTheLibraryHasThem_data();
    void valuesOnlyWhereTheLibraryHasThem();
};

void TestLibraryHalvic::callThatCannotBeMadeIsShown_data()
{
    QTest::addColumn<QString>("library");
    QTest::addColumn<bool>("opens");
    QTest::addColumn<QString>("named");
    QTest::addColumn<int>("shown");
    QTest::newRow("library missing: every exchange")
        << "HalvicNotInstalled" << false << "HalvicNotInstalled" << 2;
    // The UPS-off command is answered "S1": it needs no CmdInput.
    QTest::newRow("CmdInput missing: the status query")
        << qEnvironmentVariable("FAKE_HALVIC_WITHOUT_CMDINPUT") << true << "CmdInput" << 1;
}

// Opening and closing are only logged; an exchange that cannot be made is shown and leaves the
// link's flags as they were.
void TestLibraryHalvic::callThatCannotBeMadeIsShown()
{
    QFETCH(QString, library);
    QFETCH(QString, named);
    LibraryHalvic halvic(library);
    RecordingMessageBox messages;
    UsbLink link{halvic, messages};
    QTEST(link.hidHandle().ok(), "opens");
    QCOMPARE(link.closeHandleDevice().ok(), link.hidHandle().ok());
    link.setUsbConnected(true);
    link.usbExchange(UsbLink::StatusQuery);
    link.usbExchange(UsbLink::UpsOff);
    QTEST(int(messages.shown().size()), "shown");
    for (const QString& message : messages.shown())
        QVERIFY2(message.contains(named), qPrintable(message));
    QVERIFY(link.usbConnected());
}

void TestLibraryHalvic::valuesOnlyWhereTheLibraryHasThem_data()
{
    QTest::addColumn<QString>("library");
    QTest::addColumn<QString>("battery");
    QTest::addColumn<QString>("model");
    QTest::addColumn<bool>("onBattery");
    QTest::newRow("library missing") << "HalvicNotInstalled"
                                     << ""
                                     << "" << false;
    QTest::newRow("four functions") << qEnvironmentVariable("FAKE_HALVIC_FOUR") << ""
                                    << "" << true;
    // Its count overstates what it wrote: the answer still ends at the first zero byte.
    QTest::newRow("five functions") << qEnvironmentVariable("FAKE_HALVIC_FIVE") << "87 %, about 23 min left"
                                    << "Ellipse PRO 650" << true;
}

// A missing fifth function is no error: the status reads, no message, nothing known.
void TestLibraryHalvic::valuesOnlyWhereTheLibraryHasThem()
{
    QFETCH(QString, library);
    LibraryHalvic halvic(library);
    RecordingMessageBox messages;
    UsbLink link{halvic, messages};
    static_cast<void>(link.open());
    link.query();
    QTEST(link.details().batteryText(), "battery");
    QTEST(link.details().model, "model");
    QTEST(link.state().onBattery, "onBattery");
    QCOMPARE(messages.shown().size(), library.contains(u"HalvicNotInstalled") ? 1 : 0);
}

QTEST_GUILESS_MAIN(TestLibraryHalvic)
#include "tst_libraryhalvic.moc"
