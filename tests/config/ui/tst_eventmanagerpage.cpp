// The Event Manager page and its three sub-pages: the real page on an engine with simulated
// devices, shown offscreen, widgets found by their names, real clicks and keys.
#include "EngineFixture.h"
#include "TestFiles.h"
#include "config/FirstInstall.h"
#include "config/Settings.h"
#include "config/ui/EventManagerPage.h"
#include "config/ui/EventSettingsPage.h"
#include "controls/XpCheckBox.h"
#include "link/ActiveLink.h"

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSet>
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
        : page({f.engine().settings(),
                f.engine().messages(),
                f.engine().serial(),
                [this] { f.engine().applyLinkChoice(); },
                {},
                {}})
    {
        testsupport::writeFile(f.paths().settingsFile(), firstInstallSettings());
        for (const QString& setting : settings)
            f.set(IniKey{setting.section(u'/', 0, 0), setting.section(u'/', 1).section(u'=', 0, 0)},
                  setting.section(u'=', 1));
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
    bool enabled(const char* name) { return find(name)->isEnabled(); }
    int value(const char* name) { return find<XpCheckBox>(name)->value(); }
    // Each entry is a control clicked, "name=text" typed into a box or "name>Up" / "name>Down" pressed.
    void act(const QStringList& actions)
    {
        for (const QString& action : actions) {
            const QByteArray name =
                action.section(QRegularExpression(QStringLiteral("[=>]")), 0, 0).toLatin1();
            QWidget* widget = find(name.constData());
            if (action.contains(u'>')) {
                QTest::keyClick(widget, action.endsWith(u"Up") ? Qt::Key_Up : Qt::Key_Down);
            } else if (action.contains(u'=')) {
                find<QLineEdit>(name.constData())->selectAll();
                QTest::keyClick(widget, Qt::Key_Delete);
                QTest::keyClicks(widget, action.section(u'=', 1));
            } else {
                click(name.constData());
            }
        }
    }
    // Low Battery: the disable, record and shut-down boxes; whether the options, the record and
    // shut-down boxes, and the delay box and its buttons are enabled.
    QList<int> lowBattery()
    {
        return {value("ChkLowBattE"),
                value("ChkLowBattL"),
                value("ChkLowBattS"),
                enabled("Frame4"),
                enabled("ChkLowBattL") && enabled("ChkLowBattS"),
                enabled("TxtLowBattCount") && enabled("Command3") && enabled("Command4")};
    }
    QStringList takeWrites() { return std::exchange(m_writes, {}); }
    testsupport::EngineFixture f;
    EventManagerPage page;

private:
    QStringList m_writes;
};

constexpr EventSection OnBattery = EventSection::OnBattery;
constexpr EventSection LowBattery = EventSection::LowBattery;

// In the order Apply writes them.
QStringList eventSettings(EventSection s, const QString& disable, const QString& record,
                          const QString& shutdown, const QString& delay)
{
    return {writeOf(key::Disableevent(s), disable), writeOf(key::Shutdown(s), shutdown),
            writeOf(key::Recordlog(s), record), writeOf(key::Delaytime(s), delay)};
}

} // namespace

class TestEventManagerPage : public QObject
{
    Q_OBJECT

private slots:
    void opensOnBatteryFreshAndDropsUnappliedEdits()
    {
        Page p(eventSettings(OnBattery, "0", "1", "1", "3"), "OptOsLog");
        p.f.set(key::Delaytime(EventSection::OnBattery), "6");
        p.page.EventMana();
        QVERIFY(p.find("FrmUpsOnBatt")->isVisible() && !p.find("FrmOSLog")->isVisible());
        QCOMPARE(p.text("TxtOnBattCount"), QStringLiteral("6"));
        p.act({"Command7", "ChkOnBattE", "OptLowBatt", "OptOnBatt"});
        QCOMPARE(p.text("TxtOnBattCount"), QStringLiteral("6"));
        QCOMPARE(QList<int>({p.value("ChkOnBattE"), p.value("ChkOnBattS")}), QList<int>({0, 1}));
        QVERIFY(p.enabled("ChkOnBattS") && p.enabled("Command7")); // no lock left from the edit
        QVERIFY(p.takeWrites().isEmpty());
    }

    // Tab reaches every enabled control of each sub-page, and each has a name and a spoken name.
    void everyControlIsReachableAndNamed()
    {
        for (const char* option : {"OptOnBatt", "OptLowBatt", "OptOsLog"}) {
            Page p(eventSettings(LowBattery, "0", "1", "1", "1") +
                       eventSettings(OnBattery, "0", "1", "1", "1"),
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
                QVERIFY2(reached.contains(w) && !w->objectName().isEmpty(), w->metaObject()->className());
                QAccessibleInterface* control = QAccessible::queryAccessibleInterface(w);
                QVERIFY2(control && !control->text(QAccessible::Name).isEmpty(), qPrintable(w->objectName()));
            }
        }
    }

    // The Low Battery boxes as read from the file, then as the disable and shut-down boxes change them.
    void lowBatteryBoxes_data()
    {
        QTest::addColumn<QStringList>("file"); // Disableevent, Recordlog, Shutdown, Delaytime of Low Battery
        QTest::addColumn<QStringList>("clicks");
        QTest::addColumn<QList<int>>("state");
        const QStringList on{"0", "1", "1", "2"};
        // clang-format off
        QTest::newRow("disabled")  << QStringList{"1", "0", "0", "5"} << QStringList{} << QList<int>{1, 0, 0, 0, 0, 0};
        // The boxes show what the monitor makes of a value: "True" records, text disables nothing.
        QTest::newRow("unreadable") << QStringList{"x", "True", "", "abc"} << QStringList{} << QList<int>{0, 1, 0, 1, 1, 0};
        QTest::newRow("disabling clears and locks the options") << on << QStringList{"ChkLowBattE"} << QList<int>{1, 0, 0, 0, 0, 0};
        // The delay waits for "shut down".
        QTest::newRow("enabled again: all clear") << on << QStringList{"ChkLowBattE", "ChkLowBattE"} << QList<int>{0, 0, 0, 1, 1, 0};
        QTest::newRow("then shut down") << on << QStringList{"ChkLowBattE", "ChkLowBattE", "ChkLowBattS"} << QList<int>{0, 0, 1, 1, 1, 1};
        // clang-format on
    }

    void lowBatteryBoxes()
    {
        QFETCH(QStringList, file);
        Page p(eventSettings(LowBattery, file[0], file[1], file[2], file[3]), "OptLowBatt");
        QCOMPARE(p.text("TxtLowBattCount"), file[3]);
        QFETCH(QStringList, clicks);
        p.act(clicks);
        QTEST(p.lowBattery(), "state");
    }

    // What the user does on a sub-page, what the boxes then show, the messages and the writes (the first
    // ones; all when the list is of an event sub-page). Apply writes the stored (or default) value again
    // for one it cannot take.
    void actions_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QStringList>("settings");
        QTest::addColumn<QStringList>("actions");
        QTest::addColumn<QStringList>("shown"); // "box=text"
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QStringList>("writes");
        // Each list is spelt as one text, its entries separated by "|".
        const auto row = [](const char* name, const char* option, const QString& settings,
                            const QString& actions, const QString& shown, const QString& messages,
                            const QString& writes) {
            const auto list = [](const QString& text) { return text.split(u'|', Qt::SkipEmptyParts); };
            QTest::newRow(name) << option << list(settings) << list(actions) << list(shown) << list(messages)
                                << list(writes);
        };
        const auto event = [](EventSection s, const char* shutdown, const char* delay) {
            return eventSettings(s, "0", "1", shutdown, delay).join(u'|');
        };
        const auto limits = [](const char* log, const char* events, const char* close) {
            return QStringLiteral("OSEvent/Closecount=%3|OSEvent/Eventcount=%2|OSEvent/Logcount=%1")
                .arg(log, events, close);
        };
        const QString range = QStringLiteral("Please input number range between 10 and 1000");
        const QString low = event(LowBattery, "1", "2");
        // clang-format off
        // The first install shuts down on Low Battery only.
        row("On Battery applied", "OptOnBatt", "", "ChkOnBattS|TxtOnBattCount=0.5|CmdOnBatt", "", "", event(OnBattery, "1", "0.5"));
        // Disabling the log clears the saving of applications.
        row("OS Event Log applied", "OptOsLog", "", "ChkOSSave|Command6|Command9|ChkOSDisable|Command5", "", "",
            limits("1000", "999", "1000") + "|OSEvent/Saveapllication=0|OSEvent/Disableevent=1|Mscomm/ComboPort=0");
        row("delay box takes only decimal text", "OptOnBatt", event(OnBattery, "1", "2"), "TxtOnBattCount=1a2.5x-", "TxtOnBattCount=12.5", "", "");
        row("delay emptied: the stored one comes back", "OptOnBatt", event(OnBattery, "1", "7"), "TxtOnBattCount=|CmdOnBatt", "TxtOnBattCount=7", "", event(OnBattery, "1", "7"));
        row("no delay stored either: 2 minutes", "OptLowBatt", event(LowBattery, "1", "soon"), "TxtLowBattCount=|CmdLowBatt", "TxtLowBattCount=2", "", low);
        row("limit 250.7 writes 250", "OptOsLog", limits("100", "200", "300"), "TextLimitLog=250.7|Command5", "TextLimitLog=250.7", "", limits("250", "200", "300"));
        row("emptied and 1001: two messages, log first", "OptOsLog", limits("100", "200", "300"), "TextLimitLog=|TextLimitEvent=1001|Command5",
            "TextLimitLog=100|TextLimitEvent=200", "Please input number |" + range, limits("100", "200", "300"));
        // A stored limit no one can read is not written again: 1000 is, the limit such text stands for.
        row("refused, stored unreadable", "OptOsLog", limits("many", "200", "300"), "TextLimitLog=9|Command5", "TextLimitLog=1000", range, limits("1000", "200", "300"));
        // The file's value is put in as it is (letters too); the buttons and the arrow keys step it.
        row("delay up from text", "OptOnBatt", event(OnBattery, "1", "abc"), "Command7", "TxtOnBattCount=1", "", "");
        row("delay key down from 0", "OptLowBatt", event(LowBattery, "1", "0"), "TxtLowBattCount>Down", "TxtLowBattCount=1", "", "");
        row("limit up from 1200", "OptOsLog", limits("1", "1200", "1"), "Command10", "TextLimitEvent=1000", "", "");
        // Our own thresholds, after the page's own settings; 0 or empty is off.
        row("thresholds applied, rounded", "OptLowBatt", low, "TxtLowCharge=20.4|TxtLowRuntime=5|CmdLowBatt", "", "", low + "|Battery/LowCharge=20|Battery/LowRuntime=5");
        row("threshold out of range: stored one back", "OptLowBatt", low + "|Battery/LowCharge=15|Battery/LowRuntime=3", "TxtLowCharge=96|TxtLowRuntime=121|CmdLowBatt",
            "TxtLowCharge=15|TxtLowRuntime=3", "Please input number range between 0 and 95|Please input number range between 0 and 120", low);
        row("threshold emptied: off", "OptLowBatt", low + "|Battery/LowCharge=15", "TxtLowCharge=|TxtLowRuntime=0|CmdLowBatt", "", "", low + "|Battery/LowCharge=|Battery/LowRuntime=0");
        row("threshold up from off", "OptLowBatt", low + "|Battery/LowCharge=0|Battery/LowRuntime=0", "CmdLowChargeUp|TxtLowRuntime>Up", "TxtLowCharge=1|TxtLowRuntime=1", "", "");
        // clang-format on
    }

    // A box whose value the UPS does not report is greyed, and the group says why.
    void thresholdsFollowWhatTheUpsReports_data()
    {
        QTest::addColumn<QStringList>("values"); // "name=value" reported; "-": no source wired
        QTest::addColumn<bool>("charge");
        QTest::addColumn<bool>("runtime");
        QTest::addColumn<QString>("reason");
        // clang-format off
        QTest::newRow("no source")     << QStringList{"-"} << true << true << "";
        QTest::newRow("both reported") << QStringList{"battery.charge=50", "battery.runtime=600"} << true << true << "";
        QTest::newRow("charge only")   << QStringList{"battery.charge=50"} << true << false << "The UPS does not report its runtime.";
        QTest::newRow("nothing (a serial UPS)") << QStringList{} << false << false
            << "The UPS reports neither its charge nor its runtime (a serial UPS never does): only its own battery-low signal counts.";
        // clang-format on
    }

    void thresholdsFollowWhatTheUpsReports()
    {
        QFETCH(QStringList, values);
        Page p;
        if (values != QStringList{"-"}) {
            for (const QString& v : values)
                p.f.platform().halvic.setValue(v.section(u'=', 0, 0).toUtf8(), v.section(u'=', 1).toUtf8());
            p.f.start();
            p.f.tick();
            p.find<EventSettingsPage>("FrmUpsLowBatt")->setUpsDetailsSource([&p] {
                return p.f.engine().links().current().details();
            });
        }
        p.click("OptLowBatt");
        QTEST(p.enabled("TxtLowCharge") && p.enabled("CmdLowChargeUp"), "charge");
        QTEST(p.enabled("TxtLowRuntime") && p.enabled("CmdLowRuntimeDown"), "runtime");
        QTEST(p.find<QWidget>("TxtLowCharge")->isVisible(), "charge");
        QTEST(p.find<QWidget>("TxtLowRuntime")->isVisible(), "runtime");
        auto* reason = p.find<QLabel>("LblOwnLowReason");
        QTEST(reason->isVisible() ? reason->text() : QString(), "reason");
    }

    void actions()
    {
        QFETCH(QString, option);
        QFETCH(QStringList, settings);
        QFETCH(QStringList, actions);
        QFETCH(QStringList, shown);
        QFETCH(QStringList, writes);
        Page p(settings, qPrintable(option));
        p.act(actions);
        for (const QString& box : shown)
            QCOMPARE(box.section(u'=', 0, 0) + u'=' + p.text(qPrintable(box.section(u'=', 0, 0))), box);
        QStringList messages;
        for (const auto& m : p.f.platform().messages.messages())
            messages.append(m.text);
        QTEST(messages, "messages");
        QCOMPARE(p.takeWrites().mid(0, writes.size()), writes);
    }

    // Apply moves the monitor to the chosen port at once without raising DTR (which would switch the UPS
    // off); a port that cannot be opened is named in a warning, and opens at the next Apply.
    void applySwitchesThePort()
    {
        Page p({}, "OptOsLog");
        SimulatedSerialPort& port = p.f.platform().serialPort;
        port.setOpenFails(true);
        p.f.start();
        p.act({"ComboPort>Down", "Command5"});
        QCOMPARE(p.f.get(key::ComboPort) + u' ' + QString::number(p.f.platform().messages.messages().size()),
                 QStringLiteral("1 1"));
        port.setOpenFails(false);
        p.click("Command5");
        QVERIFY(port.isOpen() && !p.f.platform().halvic.deviceOpen());
        QVERIFY(!port.dtr() && port.dtrRaiseCount() == 0);
    }

    void failedWriteIsReported()
    {
        Page p;
        QVERIFY(QFile::remove(p.f.paths().settingsFile()));
        QVERIFY(QDir().mkdir(p.f.paths().settingsFile())); // a settings "file" no write can replace
        p.click("CmdOnBatt");
        QCOMPARE(p.takeWrites().size(), 4); // every write was tried
        QCOMPARE(p.f.platform().messages.shown().size(), 1);
        QVERIFY(p.f.platform().messages.shown().first().contains(QStringLiteral("could not be saved")));
    }
};

QTEST_MAIN(TestEventManagerPage)
#include "tst_eventmanagerpage.moc"
