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

QTEST_GUILESS_MAIN(TestLibraryHalvic)
#include "tst_libraryhalvic.moc"
