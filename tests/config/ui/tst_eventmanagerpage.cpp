// The Event Manager page and its three sub-pages: the real page on an engine with simulated
// devices, shown offscreen, widgets found by their names, real clicks and keys.
#include "EngineFixture.h"
#include "TestFiles.h"
#include "config/FirstInstall.h"
#include "config/Settings.h"
#include "config/ui/EventManagerPage.h"
#include "controls/XpCheckBox.h"
#include "controls/XpRadioButton.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QShortcut>
#include <QSignalSpy>
#include <QTest>

using namespace brevant;

namespace {

// Settings and writes are spelt "Section/Key=value".
QString writeOf(IniKey key, const QString& value)
{
    return key.section.toString() + u'/' + key.name.toString() + u'=' + value;
}

// The page opened as its page button opens it, on the first-install settings changed by `settings`.
class Page
{
public:
    explicit Page(const QStringList& settings = {}, const char* option = nullptr)
        : page(f.engine())
    {
        testsupport::writeFile(f.paths().settingsFile(), firstInstallSettings());
        for (const QString& setting : settings) {
            const QString section = setting.section(u'/', 0, 0);
            const QString name = setting.section(u'/', 1).section(u'=', 0, 0);
            f.set(IniKey{section, name}, setting.section(u'=', 1));
        }
        f.engine().settings().setWriteObserver(
            [this](IniKey key, const QString& value) { m_writes.append(writeOf(key, value)); });
        page.resize(page.sizeHint());
        page.show();
        page.EventMana();
        if (option)
            click(option);
    }

    template <typename W = QWidget>
    W* find(const char* name)
    {
        auto* widget = page.findChild<W*>(QLatin1String(name));
        if (!widget)
            qFatal("no %s on the page", name);
        return widget;
    }
    void click(const char* name)
    {
        QTest::mouseClick(find(name), Qt::LeftButton, {}, find(name)->rect().center());
    }
    QString text(const char* name) { return find<QLineEdit>(name)->text(); }
    void setText(const char* name, const QString& text)
    {
        find<QLineEdit>(name)->selectAll();
        QTest::keyClick(find(name), Qt::Key_Delete);
        QTest::keyClicks(find(name), text);
    }
    bool enabled(const char* name) { return find(name)->isEnabled(); }
    int value(const char* name) { return find<XpCheckBox>(name)->value(); }
    // Each entry is a control clicked, or "name=text" typed into a box.
    void act(const QStringList& actions)
    {
        for (const QString& action : actions) {
            const QByteArray name = action.section(u'=', 0, 0).toLatin1();
            action.contains(u'=') ? setText(name.constData(), action.section(u'=', 1))
                                  : click(name.constData());
        }
    }
    QStringList takeWrites() { return std::exchange(m_writes, {}); }
    // Message boxes about the user's actions, as "critical|title|text" or "warning|title|text".
    QStringList messages()
    {
        QStringList texts;
        for (const auto& m : f.platform().messages.messages())
            texts.append((m.icon == MessageBoxPresenter::Icon::Critical ? u"critical|" : u"warning|") +
                         m.title + u'|' + m.text);
        return texts;
    }
    QStringList shownSubPages()
    {
        QStringList shown;
        for (const char* frame : {"FrmUpsOnBatt", "FrmUpsLowBatt", "FrmOSLog"}) {
            if (find(frame)->isVisible())
                shown.append(QLatin1String(frame));
        }
        return shown;
    }

    testsupport::EngineFixture f;
    EventManagerPage page;

private:
    QStringList m_writes;
};

// The names of one event sub-page's controls.
struct Names
{
    EventSection section;
    const char *option, *disable, *options, *record, *shutdown, *delay, *up, *down, *apply, *help;
};
const Names OnBattery{
    EventSection::OnBattery, "OptOnBatt", "ChkOnBattE", "Frame2",    "ChkOnBattL",  "ChkOnBattS",
    "TxtOnBattCount",        "Command7",  "Command8",   "CmdOnBatt", "xpcmdbutton6"};
const Names LowBattery{
    EventSection::LowBattery, "OptLowBatt", "ChkLowBattE", "Frame4",     "ChkLowBattL",  "ChkLowBattS",
    "TxtLowBattCount",        "Command3",   "Command4",    "CmdLowBatt", "xpcmdbutton10"};
// In the order Apply writes them.
QStringList eventSettings(const Names& n, const QString& disable, const QString& record,
                          const QString& shutdown, const QString& delay)
{
    const EventSection s = n.section;
    return {writeOf(key::Disableevent(s), disable), writeOf(key::Shutdown(s), shutdown),
            writeOf(key::Recordlog(s), record), writeOf(key::Delaytime(s), delay)};
}

QStringList limits(const QStringList& values)
{
    return {writeOf(key::Logcount, values[0]), writeOf(key::Eventcount, values[1]),
            writeOf(key::Closecount, values[2])};
}

} // namespace

class TestEventManagerPage : public QObject
{
    Q_OBJECT

private slots:
    void eventManaOpensOnBatteryFresh();
    void switchingDiscardsUnappliedEdits();
    void keysAct();
    void everyControlIsReachableAndNamed();
    void eventPageShowsTheFile_data();
    void eventPageShowsTheFile();
    void osLogPageShowsTheFile();
    void disableClearsAndLocksTheEventOptions();
    void osLogDisableLocksLimitsAndSaving();
    void spins_data();
    void spins();
    void delayBoxTakesOnlyDecimalText();
    void applyWritesExactlyItsKeys_data();
    void applyWritesExactlyItsKeys();
    void applyChecksTheValues_data();
    void applyChecksTheValues();
    void failedWriteIsReported();
    void helpButtons();
};

void TestEventManagerPage::eventManaOpensOnBatteryFresh()
{
    Page p({writeOf(key::Delaytime(EventSection::OnBattery), "4")}, "OptOsLog");
    p.f.set(key::Delaytime(EventSection::OnBattery), "6");
    p.page.EventMana();
    QCOMPARE(p.shownSubPages(), QStringList{"FrmUpsOnBatt"});
    QVERIFY(p.find<XpRadioButton>("OptOnBatt")->value() && !p.find<XpRadioButton>("OptOsLog")->value());
    QCOMPARE(p.text("TxtOnBattCount"), QStringLiteral("6"));
}

void TestEventManagerPage::switchingDiscardsUnappliedEdits()
{
    Page p(eventSettings(OnBattery, "0", "1", "1", "3"));
    p.act({"Command7", "ChkOnBattE", "OptLowBatt", "OptOnBatt"});
    QCOMPARE(p.text("TxtOnBattCount"), QStringLiteral("3"));
    QCOMPARE(QList<int>({p.value("ChkOnBattE"), p.value("ChkOnBattS")}), QList<int>({0, 1}));
    QVERIFY(p.enabled("ChkOnBattS") && p.enabled("Command7")); // no lock left from the edit
    QVERIFY(p.takeWrites().isEmpty());
}

// Space and Enter act as a click; access keys reach the options and the buttons.
void TestEventManagerPage::keysAct()
{
    Page p;
    p.page.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&p.page));
    QTest::keyClick(&p.page, Qt::Key_L, Qt::AltModifier);
    QCOMPARE(p.shownSubPages(), QStringList{"FrmUpsLowBatt"});
    QTest::keyClick(&p.page, Qt::Key_B, Qt::AltModifier);
    QCOMPARE(p.shownSubPages(), QStringList{"FrmUpsOnBatt"});
    QWidget* disable = p.find("ChkOnBattE");
    disable->setFocus(Qt::TabFocusReason);
    QTest::keyClick(disable, Qt::Key_Space);
    QCOMPARE(p.value("ChkOnBattE"), 1);
    QTest::keyClick(disable, Qt::Key_Return);
    QCOMPARE(p.value("ChkOnBattE"), 0);
    QTest::keyClick(&p.page, Qt::Key_A, Qt::AltModifier);
    QCOMPARE(p.takeWrites().size(), 4);
}

// On each sub-page, with everything enabled, Tab reaches every control once, and each control has
// an objectName and a name a screen reader can say.
void TestEventManagerPage::everyControlIsReachableAndNamed()
{
    for (const char* option : {"OptOnBatt", "OptLowBatt", "OptOsLog"}) {
        Page p({writeOf(key::Shutdown(EventSection::OnBattery), "1"),
                writeOf(key::Shutdown(EventSection::LowBattery), "1")},
               option);
        p.page.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&p.page));
        QSet<QWidget*> reached;
        QWidget* first = p.find(option);
        first->setFocus(Qt::TabFocusReason);
        for (QWidget* w = first; w && !reached.contains(w); w = QApplication::focusWidget()) {
            reached.insert(w);
            QTest::keyClick(w, Qt::Key_Tab);
        }
        QVERIFY(reached.size() >= 7);
        for (QWidget* w : p.page.findChildren<QWidget*>()) {
            if (!w->isVisibleTo(&p.page) || !w->isEnabled() || !(w->focusPolicy() & Qt::TabFocus))
                continue;
            QVERIFY2(reached.contains(w), qPrintable(w->objectName()));
            QVERIFY2(!w->objectName().isEmpty(), w->metaObject()->className());
            QAccessibleInterface* control = QAccessible::queryAccessibleInterface(w);
            QVERIFY2(control && !control->text(QAccessible::Name).isEmpty(), qPrintable(w->objectName()));
        }
    }
}

void TestEventManagerPage::eventPageShowsTheFile_data()
{
    QTest::addColumn<bool>("lowBattery");
    QTest::addColumn<QStringList>("file"); // Disableevent, Recordlog, Shutdown, Delaytime
    QTest::addColumn<QList<int>>("boxes"); // disable, record, shut down
    QTest::addColumn<bool>("optionsEnabled");
    QTest::addColumn<bool>("delayEnabled");
    const auto row = [](const char* name, bool low, const QStringList& file, const QList<int>& boxes,
                        bool optionsEnabled, bool delayEnabled) {
        QTest::newRow(name) << low << file << boxes << optionsEnabled << delayEnabled;
    };
    row("on battery: disabled", false, {"1", "0", "0", "5"}, {1, 0, 0}, false, false);
    row("low battery: shutdown on", true, {"0", "1", "1", "3"}, {0, 1, 1}, true, true);
    // The boxes show what the monitor makes of a value: "True" records, text disables nothing.
    row("low battery: unreadable", true, {"x", "True", "", "abc"}, {0, 1, 0}, true, false);
}

void TestEventManagerPage::eventPageShowsTheFile()
{
    QFETCH(bool, lowBattery);
    QFETCH(QStringList, file);
    QFETCH(bool, optionsEnabled);
    QFETCH(bool, delayEnabled);
    const Names& n = lowBattery ? LowBattery : OnBattery;
    Page p(eventSettings(n, file[0], file[1], file[2], file[3]), n.option);
    QTEST(QList<int>({p.value(n.disable), p.value(n.record), p.value(n.shutdown)}), "boxes");
    QCOMPARE(p.enabled(n.options), optionsEnabled);
    QCOMPARE(p.text(n.delay), file[3]);
    for (const char* delayControl : {n.delay, n.up, n.down})
        QCOMPARE(p.enabled(delayControl), optionsEnabled && delayEnabled);
}

void TestEventManagerPage::osLogPageShowsTheFile()
{
    Page p(limits({"100", "abc", "250.7"}) + QStringList{writeOf(key::ComboPort, "2"),
                                                         writeOf(key::OsDisableevent, "1"),
                                                         writeOf(key::Saveapllication, "1")},
           "OptOsLog");
    QCOMPARE(p.shownSubPages(), QStringList{"FrmOSLog"});
    QCOMPARE(p.find<QComboBox>("ComboPort")->currentText(), QStringLiteral("COM2"));
    QCOMPARE(QStringList({p.text("TextLimitLog"), p.text("TextLimitEvent"), p.text("TextLimitClose")}),
             QStringList({"100", "abc", "250.7"})); // put in as the file holds them
    QVERIFY(p.value("ChkOSDisable") && p.value("ChkOSSave"));
    // Choosing the sub-page does not lock it: the lock follows the box's clicks only.
    for (const char* control : {"TextLimitLog", "TextLimitEvent", "TextLimitClose", "ChkOSSave"})
        QVERIFY(p.enabled(control));
}

void TestEventManagerPage::disableClearsAndLocksTheEventOptions()
{
    const Names& n = LowBattery;
    Page p(eventSettings(n, "0", "1", "1", "2"), n.option);
    p.click(n.disable);
    QCOMPARE(QList<int>({p.value(n.disable), p.value(n.record), p.value(n.shutdown)}), QList<int>({1, 0, 0}));
    for (const char* locked : {n.options, n.record, n.shutdown, n.delay, n.up, n.down})
        QVERIFY2(!p.enabled(locked), locked);

    p.click(n.disable);
    QCOMPARE(QList<int>({p.value(n.disable), p.value(n.record), p.value(n.shutdown)}), QList<int>({0, 0, 0}));
    QVERIFY(p.enabled(n.options) && p.enabled(n.record) && p.enabled(n.shutdown));
    QVERIFY(!p.enabled(n.up) && !p.enabled(n.down)); // until "shut down" is checked again
    p.click(n.shutdown);
    QVERIFY(p.enabled(n.up) && p.enabled(n.down) && p.enabled(n.delay));
}

void TestEventManagerPage::osLogDisableLocksLimitsAndSaving()
{
    Page p({writeOf(key::Saveapllication, "1")}, "OptOsLog");
    const auto locked = [&p](bool expected) {
        for (const char* control : {"TextLimitLog", "Command2", "Command12", "ChkOSSave"})
            QVERIFY2(p.enabled(control) != expected, control);
        QVERIFY(p.enabled("ComboPort") && p.enabled("Command5")); // never locked
    };
    p.click("ChkOSDisable");
    QCOMPARE(p.value("ChkOSSave"), 0);
    locked(true);
    p.click("Command5");
    const QStringList writes = p.takeWrites();
    QVERIFY(writes.contains(writeOf(key::Saveapllication, "0")));
    QVERIFY(writes.contains(writeOf(key::OsDisableevent, "1")));
    p.click("ChkOSDisable");
    QCOMPARE(p.value("ChkOSSave"), 0); // stays clear
    locked(false);
}

void TestEventManagerPage::spins_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("up");
    QTest::addColumn<QString>("after");
    const auto delay = [](const Names& n, const char* stored, bool up, const char* after) {
        QTest::addRow("delay %s %s", up ? "up from" : "down from", stored)
            << n.option << writeOf(key::Delaytime(n.section), stored) << n.delay << (up ? n.up : n.down) << up
            << after;
    };
    delay(OnBattery, "1", false, "1");
    delay(LowBattery, "0", false, "1");
    delay(OnBattery, "1.5", false, "0.5");
    delay(LowBattery, "999", true, "1000"); // no upper bound
    delay(OnBattery, "abc", true, "1");
    const char* const spins[] = {"Command2", "Command6", "Command9", "Command10", "Command11", "Command12"};
    const auto limit = [&spins](int row, const char* stored, bool up, const char* after) {
        QTest::addRow("limit %d %s %s", row, up ? "up from" : "down from", stored)
            << "OptOsLog" << limits({stored, stored, stored})[row]
            << QStringList{"TextLimitLog", "TextLimitEvent", "TextLimitClose"}[row] << spins[2 * row + up]
            << up << after;
    };
    limit(0, "1000", true, "1000");
    limit(1, "1200", true, "1000");
    limit(1, "10", false, "10");
    limit(2, "5", false, "10");
    limit(2, "500", false, "499");
    limit(0, "", true, "10");
}

// The file's value is put in as it is (letters too); the buttons and the arrow keys step it alike.
void TestEventManagerPage::spins()
{
    QFETCH(QString, option);
    QFETCH(QString, setting);
    QFETCH(QString, box);
    QFETCH(QString, button);
    QFETCH(bool, up);
    Page p({setting, writeOf(key::Shutdown(EventSection::OnBattery), "1")}, qPrintable(option));
    p.click(qPrintable(button));
    QTEST(p.text(qPrintable(box)), "after");
    p.click(qPrintable(option)); // reloads the file's value
    QTest::keyClick(p.find(qPrintable(box)), up ? Qt::Key_Up : Qt::Key_Down);
    QTEST(p.text(qPrintable(box)), "after");
}

void TestEventManagerPage::delayBoxTakesOnlyDecimalText()
{
    Page p(eventSettings(OnBattery, "0", "0", "1", "2"));
    p.setText(OnBattery.delay, QStringLiteral("1a2.5x-"));
    QCOMPARE(p.text(OnBattery.delay), QStringLiteral("12.5"));
    auto* box = p.find<QLineEdit>(OnBattery.delay);
    box->selectAll();
    box->insert(QStringLiteral("ten minutes")); // what a paste does
    QCOMPARE(p.text(OnBattery.delay), QStringLiteral("12.5"));
}

void TestEventManagerPage::applyWritesExactlyItsKeys_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QStringList>("actions");
    QTest::addColumn<QStringList>("writes");
    // The first install shuts down on Low Battery only.
    QTest::newRow("On Battery") << "OptOnBatt" << QStringList{"ChkOnBattS", "TxtOnBattCount=0.5", "CmdOnBatt"}
                                << eventSettings(OnBattery, "0", "1", "1", "0.5");
    QTest::newRow("Low Battery") << "OptLowBatt" << QStringList{"ChkLowBattS", "CmdLowBatt"}
                                 << eventSettings(LowBattery, "0", "1", "0", "1");
    QTest::newRow("OS Event Log")
        << "OptOsLog" << QStringList{"ChkOSSave", "Command6", "Command9", "Command5"}
        << QStringList{writeOf(key::Closecount, "1000"),  writeOf(key::Eventcount, "999"),
                       writeOf(key::Logcount, "1000"),    writeOf(key::Saveapllication, "1"),
                       writeOf(key::OsDisableevent, "0"), writeOf(key::ComboPort, "0")};
}

void TestEventManagerPage::applyWritesExactlyItsKeys()
{
    QFETCH(QString, option);
    QFETCH(QStringList, actions);
    Page p({}, qPrintable(option));
    p.act(actions);
    QTEST(p.takeWrites(), "writes");
    QVERIFY(p.messages().isEmpty());
    if (option == u"OptOnBatt") // the countdown reads the delay as written: half a minute
        QCOMPARE(p.f.engine().settings().delaySeconds(EventSection::OnBattery), 30);
}

// What Apply makes of values it cannot take: the stored (or default) value is written again.
void TestEventManagerPage::applyChecksTheValues_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QStringList>("stored"); // delay, or log, event and closed applications limits
    QTest::addColumn<QStringList>("actions");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QStringList>("shownAfter");
    QTest::addColumn<QStringList>("written");
    const QString range =
        QStringLiteral("critical|System Information|Please input number range between 10 and 1000");
    const QString number = QStringLiteral("critical|System Information|Please input number ");
    const auto row = [](const char* name, const char* option, const QStringList& stored,
                        const QStringList& actions, const QStringList& messages,
                        const QStringList& shownAfter, const QStringList& written) {
        QTest::newRow(name) << option << stored << actions << messages << shownAfter << written;
    };
    const QStringList limits{"100", "200", "300"};
    row("delay emptied: the stored one comes back", "OptOnBatt", {"7"}, {"TxtOnBattCount=", "CmdOnBatt"}, {},
        {"7"}, {"7"});
    row("no delay stored either: 2 minutes", "OptLowBatt", {"soon"}, {"TxtLowBattCount=", "CmdLowBatt"}, {},
        {"2"}, {"2"});
    row("delay written as typed", "OptOnBatt", {"7"}, {"TxtOnBattCount=05", "CmdOnBatt"}, {}, {"05"}, {"05"});
    row("limits in range", "OptOsLog", limits, {"TextLimitLog=10", "TextLimitEvent=1000", "Command5"}, {},
        {"10", "1000", "300"}, {"10", "1000", "300"});
    row("limit 9 refused", "OptOsLog", limits, {"TextLimitLog=9", "Command5"}, {range}, limits, limits);
    row("limit 250.7 writes 250", "OptOsLog", limits, {"TextLimitLog=250.7", "Command5"}, {},
        {"250.7", "200", "300"}, {"250", "200", "300"});
    row("emptied and 1001: two messages, log first", "OptOsLog", limits,
        {"TextLimitLog=", "TextLimitEvent=1001", "Command5"}, {number, range}, limits, limits);
    // A stored limit no one can read is not written again: 1000 is, the limit such text stands for.
    row("refused, stored unreadable", "OptOsLog", {"many", "200", "300"}, {"TextLimitLog=5", "Command5"},
        {range}, {"1000", "200", "300"}, {"1000", "200", "300"});
}

void TestEventManagerPage::applyChecksTheValues()
{
    QFETCH(QString, option);
    QFETCH(QStringList, stored);
    QFETCH(QStringList, actions);
    QFETCH(QStringList, shownAfter);
    QFETCH(QStringList, written);
    const bool low = option == u"OptLowBatt";
    const Names& n = low ? LowBattery : OnBattery;
    const bool osLog = stored.size() == 3;
    Page p(osLog ? limits(stored) : eventSettings(n, "0", "1", "1", stored[0]), qPrintable(option));
    p.act(actions);
    QTEST(p.messages(), "messages");
    const QStringList boxes = osLog ? QStringList{"TextLimitLog", "TextLimitEvent", "TextLimitClose"}
                                    : QStringList{QLatin1String(n.delay)};
    for (qsizetype i = 0; i < boxes.size(); ++i)
        QCOMPARE(p.text(qPrintable(boxes[i])), shownAfter[i]);
    const QStringList writes = p.takeWrites();
    if (osLog) {
        const QStringList expected = limits(written);
        QCOMPARE(writes.mid(0, 3), QStringList({expected[2], expected[1], expected[0]}));
    } else {
        QCOMPARE(writes.last(), writeOf(key::Delaytime(n.section), written[0]));
    }
}

void TestEventManagerPage::failedWriteIsReported()
{
    Page p;
    const QString file = p.f.paths().settingsFile();
    QVERIFY(QFile::remove(file));
    QVERIFY(QDir().mkdir(file)); // a settings "file" no write can replace
    p.click(OnBattery.apply);
    QCOMPARE(p.takeWrites().size(), 4); // every write was tried
    const QStringList& shown = p.f.platform().messages.shown();
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown.first().contains(QStringLiteral("could not be saved")), qPrintable(shown.first()));
}

// Help opens the program's help; the Low Battery page's Help sends F1 to the active window.
void TestEventManagerPage::helpButtons()
{
    Page p;
    p.page.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&p.page));
    QSignalSpy help(&p.page, &EventManagerPage::helpRequested);
    QShortcut f1(Qt::Key_F1, &p.page);
    QSignalSpy f1Pressed(&f1, &QShortcut::activated);
    p.click(OnBattery.help);
    p.act({LowBattery.option, LowBattery.help});
    QCOMPARE(help.size(), 1);
    QCOMPARE(f1Pressed.size(), 1);
}

QTEST_MAIN(TestEventManagerPage)
#include "tst_eventmanagerpage.moc"
