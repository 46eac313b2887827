// The OS Event Log sub-page: the real page, real clicks and keys, the simulated serial port.
#include "PageFixture.h"
#include "config/Settings.h"
#include "config/ui/OsEventLogPage.h"
#include "controls/XpCheckBox.h"
#include "link/SerialLink.h"
#include "link/UsbLink.h"
#include "platform/qt/QtSerialPort.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

using namespace brevant;

namespace {

const QString Range =
    QStringLiteral("critical|System Information|Please input number range between 10 and 1000");
const QString Number = QStringLiteral("critical|System Information|Please input number ");
const char* const Boxes[] = {"TextLimitLog", "TextLimitEvent", "TextLimitClose"};
const char* const Spins[] = {"Command2", "Command6", "Command9", "Command10", "Command11", "Command12"};

// The OS Event Log sub-page, chosen by its radio button.
PageFixture* osLog(const QList<PageFixture::Setting>& settings = {})
{
    auto* p = new PageFixture(settings);
    p->click("OptOsLog");
    return p;
}

// Chooses a port entry with the keyboard, as a user without a mouse does.
void choosePort(PageFixture& p, int position)
{
    auto* combo = p.find<QComboBox>("ComboPort");
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Home);
    for (int i = 0; i < position; ++i)
        QTest::keyClick(combo, Qt::Key_Down);
}

} // namespace

class TestOsEventLogPage : public QObject
{
    Q_OBJECT

private slots:
    void loadShowsTheFile();
    void portEntries_data();
    void portEntries();
    void disableLocksLimitsAndSaving();
    void limitSpins_data();
    void limitSpins();
    void applyChecksTheLimits_data();
    void applyChecksTheLimits();
    void applyWritesExactlyItsKeys();
    void linkSwitch();
    void portThatCannotOpenIsNamedAndStillSaved();
};

void TestOsEventLogPage::loadShowsTheFile()
{
    std::unique_ptr<PageFixture> p(osLog({{key::ComboPort, "2"},
                                          {key::Logcount, "100"},
                                          {key::Eventcount, "abc"},
                                          {key::Closecount, "250.7"},
                                          {key::OsDisableevent, "1"},
                                          {key::Saveapllication, "1"}}));
    QVERIFY(p->find("FrmOSLog")->isVisible());
    QVERIFY(!p->find("FrmUpsOnBatt")->isVisible() && !p->find("FrmUpsLowBatt")->isVisible());
    QCOMPARE(p->find<QComboBox>("ComboPort")->currentText(), QStringLiteral("COM2"));
    QCOMPARE(p->find<QLabel>("LblPortDevice")->text(), QtSerialPort::deviceName(2));
    QCOMPARE(p->text("TextLimitLog"), QStringLiteral("100"));
    QCOMPARE(p->text("TextLimitEvent"), QStringLiteral("abc")); // put in as the file holds it
    QCOMPARE(p->text("TextLimitClose"), QStringLiteral("250.7"));
    QCOMPARE(p->value("ChkOSDisable"), 1);
    QCOMPARE(p->value("ChkOSSave"), 1);
    // Choosing the sub-page does not lock it: the lock follows the box's clicks only.
    for (const char* box : Boxes)
        QVERIFY(p->enabled(box));
    QVERIFY(p->enabled("ChkOSSave"));
}

void TestOsEventLogPage::portEntries_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("shown");
    QTest::newRow("0 is USB") << "0"
                              << "USB";
    QTest::newRow("4") << "4"
                       << "COM4";
    QTest::newRow("unreadable reads as USB, as the link reads it") << "x"
                                                                   << "USB";
    QTest::newRow("negative reads as USB") << "-3"
                                           << "USB";
    QTest::newRow("beyond COM4: no entry") << "7"
                                           << "";
}

void TestOsEventLogPage::portEntries()
{
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    std::unique_ptr<PageFixture> p(osLog({{key::ComboPort, stored}}));
    auto* combo = p->find<QComboBox>("ComboPort");
    QCOMPARE(combo->count(), 5);
    for (int position = 0; position < 5; ++position) {
        QCOMPARE(combo->itemText(position),
                 position == 0 ? QStringLiteral("USB") : QStringLiteral("COM%1").arg(position));
        if (position > 0)
            QCOMPARE(combo->itemData(position, Qt::ToolTipRole).toString(),
                     QtSerialPort::deviceName(position));
    }
    QCOMPARE(combo->currentText(), shown);

    // An entry matching none leaves the setting alone; choosing one writes it.
    p->click("Command5");
    QCOMPARE(p->f().get(key::ComboPort), stored == u"x" || stored == u"-3" ? QStringLiteral("0") : stored);
    choosePort(*p, 3);
    QCOMPARE(p->find<QLabel>("LblPortDevice")->text(), QtSerialPort::deviceName(3));
}

void TestOsEventLogPage::disableLocksLimitsAndSaving()
{
    std::unique_ptr<PageFixture> p(osLog({{key::Saveapllication, "1"}}));
    p->click("ChkOSDisable");
    QCOMPARE(p->value("ChkOSDisable"), 1);
    QCOMPARE(p->value("ChkOSSave"), 0);
    QVERIFY(!p->enabled("ChkOSSave"));
    for (const char* box : Boxes)
        QVERIFY2(!p->enabled(box), box);
    for (const char* spin : Spins)
        QVERIFY2(!p->enabled(spin), spin);
    QVERIFY(p->enabled("ComboPort") && p->enabled("Command5")); // never locked

    p->click("Command5");
    const QStringList writes = p->takeWrites();
    QVERIFY(writes.contains(writeOf(key::Saveapllication, "0")));
    QVERIFY(writes.contains(writeOf(key::OsDisableevent, "1")));

    p->click("ChkOSDisable");
    QCOMPARE(p->value("ChkOSSave"), 0); // stays clear
    QVERIFY(p->enabled("ChkOSSave"));
    for (const char* box : Boxes)
        QVERIFY2(p->enabled(box), box);
    for (const char* spin : Spins)
        QVERIFY2(p->enabled(spin), spin);
}

void TestOsEventLogPage::limitSpins_data()
{
    QTest::addColumn<int>("row"); // log, event, closed applications
    QTest::addColumn<QString>("limit");
    QTest::addColumn<bool>("up");
    QTest::addColumn<QString>("after");
    const struct
    {
        const char* name;
        const char* limit;
        bool up;
        const char* after;
    } cases[] = {
        {"up on 1000 stays", "1000", true, "1000"}, {"up on 999", "999", true, "1000"},
        {"up above 1000", "1200", true, "1000"},    {"down on 10 stays", "10", false, "10"},
        {"down on 11", "11", false, "10"},          {"down on 5", "5", false, "10"},
        {"down on 500", "500", false, "499"},       {"up on empty", "", true, "10"},
        {"down on letters", "abc", false, "10"},
    };
    for (int row = 0; row < 3; ++row) {
        for (const auto& c : cases)
            QTest::addRow("%s: %s", Boxes[row], c.name)
                << row << QString::fromLatin1(c.limit) << c.up << QString::fromLatin1(c.after);
    }
}

void TestOsEventLogPage::limitSpins()
{
    QFETCH(int, row);
    QFETCH(QString, limit);
    QFETCH(bool, up);
    QFETCH(QString, after);
    std::unique_ptr<PageFixture> p(osLog({{key::limit(RecordList(row)), limit}}));
    p->click(Spins[2 * row + (up ? 1 : 0)]);
    QCOMPARE(p->text(Boxes[row]), after);
    p->click("OptOsLog");
    QTest::keyClick(p->find(Boxes[row]), up ? Qt::Key_Up : Qt::Key_Down);
    QCOMPARE(p->text(Boxes[row]), after);
}

void TestOsEventLogPage::applyChecksTheLimits_data()
{
    QTest::addColumn<QStringList>("stored"); // log, event, closed applications
    QTest::addColumn<QStringList>("typed");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QStringList>("shownAfter");
    QTest::addColumn<QStringList>("written");

    const QStringList stored{"100", "200", "300"};
    QTest::newRow("in range") << stored << QStringList{"10", "1000", "555"} << QStringList{}
                              << QStringList{"10", "1000", "555"} << QStringList{"10", "1000", "555"};
    QTest::newRow("9: refused, stored limit written again")
        << stored << QStringList{"9", "200", "300"} << QStringList{Range} << stored << stored;
    QTest::newRow("1001") << stored << QStringList{"100", "1001", "300"} << QStringList{Range} << stored
                          << stored;
    QTest::newRow("250.7 writes 250")
        << stored << QStringList{"250.7", "200", "300"} << QStringList{} << QStringList{"250.7", "200", "300"}
        << QStringList{"250", "200", "300"};
    QTest::newRow("emptied") << stored << QStringList{"100", "200", ""} << QStringList{Number} << stored
                             << stored;
    QTest::newRow("two refused: two messages, log first")
        << stored << QStringList{"", "5000", "300"} << QStringList{Number, Range} << stored << stored;
    QTest::newRow("a lone point is no number")
        << stored << QStringList{".", "200", "300"} << QStringList{Range} << stored << stored;
    // A stored limit no one can read is not written again: 1000 is, the limit such text stands for.
    QTest::newRow("refused, stored unreadable")
        << QStringList{"many", "200", "300"} << QStringList{"5", "200", "300"} << QStringList{Range}
        << QStringList{"1000", "200", "300"} << QStringList{"1000", "200", "300"};
    QTest::newRow("emptied, nothing stored")
        << QStringList{"", "200", "300"} << QStringList{"", "200", "300"} << QStringList{Number}
        << QStringList{"1000", "200", "300"} << QStringList{"1000", "200", "300"};
}

void TestOsEventLogPage::applyChecksTheLimits()
{
    QFETCH(QStringList, stored);
    QFETCH(QStringList, typed);
    QFETCH(QStringList, messages);
    QFETCH(QStringList, shownAfter);
    QFETCH(QStringList, written);
    std::unique_ptr<PageFixture> p(
        osLog({{key::Logcount, stored[0]}, {key::Eventcount, stored[1]}, {key::Closecount, stored[2]}}));
    for (int row = 0; row < 3; ++row)
        p->setText(Boxes[row], typed[row]);
    p->click("Command5");
    QCOMPARE(p->takeMessages(), messages);
    for (int row = 0; row < 3; ++row)
        QCOMPARE(p->text(Boxes[row]), shownAfter[row]);
    const QStringList writes = p->takeWrites();
    QCOMPARE(writes.mid(0, 3),
             QStringList({writeOf(key::Closecount, written[2]), writeOf(key::Eventcount, written[1]),
                          writeOf(key::Logcount, written[0])}));
}

void TestOsEventLogPage::applyWritesExactlyItsKeys()
{
    std::unique_ptr<PageFixture> p(osLog());
    p->click("ChkOSSave");
    p->click("Command6"); // 1000 stays 1000
    p->click("Command9"); // 999
    choosePort(*p, 0);
    const QMap<QString, QString> before = p->file();

    p->click("Command5");

    const QStringList expected{writeOf(key::Closecount, "1000"),  writeOf(key::Eventcount, "999"),
                               writeOf(key::Logcount, "1000"),    writeOf(key::Saveapllication, "1"),
                               writeOf(key::OsDisableevent, "0"), writeOf(key::ComboPort, "0")};
    QCOMPARE(p->takeWrites(), expected);
    QMap<QString, QString> after = before;
    for (const QString& write : expected)
        after[write.section(u'=', 0, 0)] = write.section(u'=', 1);
    QCOMPARE(p->file(), after);
    QVERIFY(p->takeMessages().isEmpty());
    QVERIFY(p->messages().shown().isEmpty());
}

void TestOsEventLogPage::linkSwitch()
{
    std::unique_ptr<PageFixture> p(osLog());
    p->f().start();
    SimulatedSerialPort& port = p->f().platform().serialPort;
    QVERIFY(p->f().platform().halvic.deviceOpen());

    choosePort(*p, 3);
    p->click("Command5");
    QCOMPARE(p->f().get(key::ComboPort), QStringLiteral("3"));
    QVERIFY(!p->f().platform().halvic.deviceOpen());
    QVERIFY(port.isOpen());
    QCOMPARE(port.portNumber(), 3);
    QVERIFY(port.rts());
    QVERIFY(!port.dtr());

    choosePort(*p, 0);
    p->click("Command5");
    QCOMPARE(p->f().get(key::ComboPort), QStringLiteral("0"));
    QVERIFY(!port.isOpen());
    QVERIFY(!p->f().engine().usb().usbConnected()); // the next tick reopens the device
    p->f().tick();
    QVERIFY(p->f().platform().halvic.deviceOpen());
    QVERIFY(p->takeMessages().isEmpty());
}

void TestOsEventLogPage::portThatCannotOpenIsNamedAndStillSaved()
{
    std::unique_ptr<PageFixture> p(osLog());
    p->f().platform().serialPort.setOpenFails(true);
    choosePort(*p, 2);
    p->click("Command5");
    QCOMPARE(p->f().get(key::ComboPort), QStringLiteral("2"));
    const QStringList shown = p->takeMessages();
    QCOMPARE(shown.size(), 1);
    QVERIFY(shown.first().startsWith(QStringLiteral("warning|System Information|")));
    QVERIFY2(shown.first().contains(QStringLiteral("COM2 (simulated) is in use by another program")),
             qPrintable(shown.first()));
}

QTEST_MAIN(TestOsEventLogPage)
#include "tst_oseventlogpage.moc"
