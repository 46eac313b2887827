// The On Battery and Low Battery sub-pages, each case run on both: the real page, real clicks.
#include "PageFixture.h"
#include "config/Settings.h"
#include "controls/XpCmdButton.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QShortcut>
#include <QSignalSpy>

using namespace brevant;

namespace {

// The names of one sub-page's controls.
struct Names
{
    EventSection section;
    const char* option;
    const char* frame;
    const char* disable;
    const char* options;
    const char* record;
    const char* shutdown;
    const char* delay;
    const char* up;
    const char* down;
    const char* apply;
    const char* help;
};
const Names OnBattery{EventSection::OnBattery,
                      "OptOnBatt",
                      "FrmUpsOnBatt",
                      "ChkOnBattE",
                      "Frame2",
                      "ChkOnBattL",
                      "ChkOnBattS",
                      "TxtOnBattCount",
                      "Command7",
                      "Command8",
                      "CmdOnBatt",
                      "xpcmdbutton6"};
const Names LowBattery{EventSection::LowBattery,
                       "OptLowBatt",
                       "FrmUpsLowBatt",
                       "ChkLowBattE",
                       "Frame4",
                       "ChkLowBattL",
                       "ChkLowBattS",
                       "TxtLowBattCount",
                       "Command3",
                       "Command4",
                       "CmdLowBatt",
                       "xpcmdbutton10"};

// The sub-page of the current data row's section, chosen by its radio button.
const Names& chosen(PageFixture& p)
{
    QFETCH(bool, lowBattery);
    const Names& n = lowBattery ? LowBattery : OnBattery;
    p.click(n.option);
    return n;
}

void addSections()
{
    QTest::addColumn<bool>("lowBattery");
}

QList<PageFixture::Setting> section(EventSection s, const QString& disable, const QString& record,
                                    const QString& shutdown, const QString& delay)
{
    return {{key::Disableevent(s), disable},
            {key::Recordlog(s), record},
            {key::Shutdown(s), shutdown},
            {key::Delaytime(s), delay}};
}

} // namespace

class TestEventSettingsPage : public QObject
{
    Q_OBJECT

private slots:
    void loadShowsTheFile_data();
    void loadShowsTheFile();
    void disableClearsAndLocksTheOptions_data() { bothSections(); }
    void disableClearsAndLocksTheOptions();
    void spinButtons_data();
    void spinButtons();
    void boxTakesOnlyDecimalText_data() { bothSections(); }
    void boxTakesOnlyDecimalText();
    void applyWritesExactlyTheFourKeys_data() { bothSections(); }
    void applyWritesExactlyTheFourKeys();
    void applyNeverWritesADelayWithoutNumber_data();
    void applyNeverWritesADelayWithoutNumber();
    void failedWriteIsReported();
    void helpButtons();

private:
    void bothSections();
};

void TestEventSettingsPage::bothSections()
{
    addSections();
    QTest::newRow("On Battery") << false;
    QTest::newRow("Low Battery") << true;
}

void TestEventSettingsPage::loadShowsTheFile_data()
{
    addSections();
    QTest::addColumn<QStringList>("file"); // Disableevent, Recordlog, Shutdown, Delaytime
    QTest::addColumn<QList<int>>("boxes"); // E, L, S
    QTest::addColumn<bool>("optionsEnabled");
    QTest::addColumn<bool>("delayEnabled");

    for (bool low : {false, true}) {
        const char* s = low ? "low battery: " : "on battery: ";
        QTest::addRow("%sdisabled, delay 5", s)
            << low << QStringList{"1", "0", "0", "5"} << QList<int>{1, 0, 0} << false << false;
        QTest::addRow("%sshutdown on", s)
            << low << QStringList{"0", "1", "1", "3"} << QList<int>{0, 1, 1} << true << true;
        QTest::addRow("%srecord only", s)
            << low << QStringList{"0", "1", "0", "2"} << QList<int>{0, 1, 0} << true << false;
        // The boxes show what the monitor makes of a value: "True" records, text disables nothing.
        QTest::addRow("%sunreadable values", s)
            << low << QStringList{"x", "True", "", "abc"} << QList<int>{0, 1, 0} << true << false;
    }
}

void TestEventSettingsPage::loadShowsTheFile()
{
    QFETCH(bool, lowBattery);
    QFETCH(QStringList, file);
    QFETCH(QList<int>, boxes);
    QFETCH(bool, optionsEnabled);
    QFETCH(bool, delayEnabled);
    const Names& n = lowBattery ? LowBattery : OnBattery;
    PageFixture p(section(n.section, file[0], file[1], file[2], file[3]));
    p.click(n.option);

    QVERIFY(p.find(n.frame)->isVisible());
    QCOMPARE(QList<int>({p.value(n.disable), p.value(n.record), p.value(n.shutdown)}), boxes);
    QCOMPARE(p.enabled(n.options), optionsEnabled);
    QCOMPARE(p.text(n.delay), file[3]);
    QCOMPARE(p.enabled(n.delay), optionsEnabled && delayEnabled);
    QCOMPARE(p.enabled(n.up), optionsEnabled && delayEnabled);
    QCOMPARE(p.enabled(n.down), optionsEnabled && delayEnabled);
    QVERIFY(p.enabled(n.apply));
}

void TestEventSettingsPage::disableClearsAndLocksTheOptions()
{
    PageFixture p({{key::Recordlog(EventSection::OnBattery), "1"},
                   {key::Shutdown(EventSection::OnBattery), "1"},
                   {key::Recordlog(EventSection::LowBattery), "1"},
                   {key::Shutdown(EventSection::LowBattery), "1"}});
    const Names& n = chosen(p);
    QVERIFY(p.enabled(n.up));

    p.click(n.disable);
    QCOMPARE(p.value(n.disable), 1);
    QCOMPARE(p.value(n.record), 0);
    QCOMPARE(p.value(n.shutdown), 0);
    for (const char* locked : {n.options, n.record, n.shutdown, n.delay, n.up, n.down})
        QVERIFY2(!p.enabled(locked), locked);

    p.click(n.disable);
    QCOMPARE(p.value(n.disable), 0);
    QVERIFY(p.enabled(n.options) && p.enabled(n.record) && p.enabled(n.shutdown));
    QCOMPARE(p.value(n.record), 0);
    QCOMPARE(p.value(n.shutdown), 0);
    QVERIFY(!p.enabled(n.up) && !p.enabled(n.down)); // until "Enable for this event" is checked again

    p.click(n.shutdown);
    QVERIFY(p.enabled(n.up) && p.enabled(n.down) && p.enabled(n.delay));
}

void TestEventSettingsPage::spinButtons_data()
{
    addSections();
    QTest::addColumn<QString>("delay");
    QTest::addColumn<bool>("up");
    QTest::addColumn<QString>("after");

    const struct
    {
        const char* name;
        const char* delay;
        bool up;
        const char* after;
    } rows[] = {
        {"down on 1 stays", "1", false, "1"},
        {"down on 3", "3", false, "2"},
        {"down on 0", "0", false, "1"},
        {"down on a negative", "-4", false, "1"},
        {"down on 1.5", "1.5", false, "0.5"},
        {"up on 3", "3", true, "4"},
        {"up on 999, no bound", "999", true, "1000"},
        {"up on 0.5", "0.5", true, "1.5"},
        {"down on empty", "", false, "1"},
        {"up on empty", "", true, "1"},
        {"up on letters", "abc", true, "1"},
    };
    for (bool low : {false, true}) {
        for (const auto& row : rows)
            QTest::addRow("%s: %s", low ? "low" : "on", row.name)
                << low << QString::fromLatin1(row.delay) << row.up << QString::fromLatin1(row.after);
    }
}

// The file's delay is put in as it is (letters too); the buttons and the arrow keys step it alike.
void TestEventSettingsPage::spinButtons()
{
    QFETCH(bool, lowBattery);
    QFETCH(QString, delay);
    QFETCH(bool, up);
    QFETCH(QString, after);
    const EventSection s = lowBattery ? EventSection::LowBattery : EventSection::OnBattery;
    PageFixture p(section(s, "0", "0", "1", delay));
    const Names& n = chosen(p);
    QCOMPARE(p.text(n.delay), delay);

    p.click(up ? n.up : n.down);
    QCOMPARE(p.text(n.delay), after);

    p.click(n.option); // reloads the file's delay
    QCOMPARE(p.text(n.delay), delay);
    QTest::keyClick(p.find(n.delay), up ? Qt::Key_Up : Qt::Key_Down);
    QCOMPARE(p.text(n.delay), after);
}

void TestEventSettingsPage::boxTakesOnlyDecimalText()
{
    PageFixture p(section(EventSection::OnBattery, "0", "0", "1", "2") +
                  section(EventSection::LowBattery, "0", "0", "1", "2"));
    const Names& n = chosen(p);
    p.setText(n.delay, QStringLiteral("1a2.5x-"));
    QCOMPARE(p.text(n.delay), QStringLiteral("12.5"));
    auto* box = p.find<QLineEdit>(n.delay);
    box->selectAll();
    box->insert(QStringLiteral("ten minutes")); // what a paste does
    QCOMPARE(p.text(n.delay), QStringLiteral("12.5"));
    box->insert(QStringLiteral("0.25"));
    QCOMPARE(p.text(n.delay), QStringLiteral("0.25"));
}

void TestEventSettingsPage::applyWritesExactlyTheFourKeys()
{
    PageFixture p;
    const Names& n = chosen(p);
    const EventSection s = n.section;
    p.click(n.shutdown); // the first install shuts down on Low Battery: clear it there, check it here
    if (s == EventSection::LowBattery)
        QCOMPARE(p.value(n.shutdown), 0);
    else
        p.setText(n.delay, QStringLiteral("0.5"));
    const QMap<QString, QString> before = p.file();

    p.click(n.apply);

    const bool low = s == EventSection::LowBattery;
    const QString delay = low ? QStringLiteral("1") : QStringLiteral("0.5");
    const QStringList expected{writeOf(key::Disableevent(s), "0"), writeOf(key::Shutdown(s), low ? "0" : "1"),
                               writeOf(key::Recordlog(s), "1"), writeOf(key::Delaytime(s), delay)};
    QCOMPARE(p.takeWrites(), expected);
    QMap<QString, QString> after = before;
    for (const QString& write : expected)
        after[write.section(u'=', 0, 0)] = write.section(u'=', 1);
    QCOMPARE(p.file(), after);
    QVERIFY(p.takeMessages().isEmpty());
    if (!low) // the countdown reads the delay as written: half a minute
        QCOMPARE(p.f().engine().settings().delaySeconds(s), 30);
}

void TestEventSettingsPage::applyNeverWritesADelayWithoutNumber_data()
{
    addSections();
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("written");
    for (bool low : {false, true}) {
        const char* s = low ? "low" : "on";
        QTest::addRow("%s: emptied, the stored delay comes back", s) << low << "7"
                                                                     << ""
                                                                     << "7";
        QTest::addRow("%s: a lone point", s) << low << "7"
                                             << "."
                                             << "7";
        QTest::addRow("%s: nothing stored either: 2 minutes", s) << low << ""
                                                                 << ""
                                                                 << "2";
        QTest::addRow("%s: letters stored: 2 minutes", s) << low << "soon"
                                                          << ""
                                                          << "2";
        QTest::addRow("%s: a number is written as typed", s) << low << "7"
                                                             << "05"
                                                             << "05";
    }
}

void TestEventSettingsPage::applyNeverWritesADelayWithoutNumber()
{
    QFETCH(bool, lowBattery);
    QFETCH(QString, stored);
    QFETCH(QString, typed);
    QFETCH(QString, written);
    const EventSection s = lowBattery ? EventSection::LowBattery : EventSection::OnBattery;
    PageFixture p(section(s, "0", "1", "1", stored));
    const Names& n = chosen(p);
    p.setText(n.delay, typed);
    p.click(n.apply);
    QCOMPARE(p.takeWrites().last(), writeOf(key::Delaytime(s), written));
    QCOMPARE(p.text(n.delay), written);
}

void TestEventSettingsPage::failedWriteIsReported()
{
    PageFixture p;
    const QString file = p.f().paths().settingsFile();
    QVERIFY(QFile::remove(file));
    QVERIFY(QDir().mkdir(file)); // a settings "file" no write can replace
    p.click(OnBattery.apply);
    QCOMPARE(p.takeWrites().size(), 4); // every write was tried
    QCOMPARE(p.messages().shown().size(), 1);
    QVERIFY(p.messages().shown().first().contains(QStringLiteral("could not be saved")));
}

// Help opens the program's help; the Low Battery page's Help sends F1 to the active window.
void TestEventSettingsPage::helpButtons()
{
    PageFixture p;
    QWidget& window = p.page();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QSignalSpy help(&p.page(), &EventManagerPage::helpRequested);
    QShortcut f1(Qt::Key_F1, &window);
    QSignalSpy f1Pressed(&f1, &QShortcut::activated);

    p.click(OnBattery.help);
    QCOMPARE(help.size(), 1);
    QCOMPARE(f1Pressed.size(), 0);

    p.click(LowBattery.option);
    p.click(LowBattery.help);
    QCOMPARE(f1Pressed.size(), 1);
    QCOMPARE(help.size(), 1);
}

QTEST_MAIN(TestEventSettingsPage)
#include "tst_eventsettingspage.moc"
