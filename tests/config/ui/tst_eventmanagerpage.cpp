// The Event Manager page as a whole: opening it, choosing sub-pages, keyboard and screen readers.
#include "PageFixture.h"
#include "controls/SkinControl.h"
#include "controls/XpRadioButton.h"

#include <QAccessible>
#include <QApplication>
#include <QLineEdit>

using namespace brevant;

namespace {

const char* const SubPages[] = {"FrmUpsOnBatt", "FrmUpsLowBatt", "FrmOSLog"};
const char* const Options[] = {"OptOnBatt", "OptLowBatt", "OptOsLog"};

QStringList shownSubPages(PageFixture& p)
{
    QStringList shown;
    for (const char* page : SubPages) {
        if (p.find(page)->isVisible())
            shown.append(QLatin1String(page));
    }
    return shown;
}

QList<bool> chosenOptions(PageFixture& p)
{
    QList<bool> chosen;
    for (const char* option : Options)
        chosen.append(p.find<XpRadioButton>(option)->value());
    return chosen;
}

// The objectNames Tab visits from `first`, until the focus comes back to it.
QStringList tabCycle(QWidget* first)
{
    first->setFocus(Qt::TabFocusReason);
    QStringList names{first->objectName()};
    for (int i = 0; i < 100; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        if (QApplication::focusWidget() == first)
            break;
        names.append(QApplication::focusWidget()->objectName());
    }
    return names;
}

} // namespace

class TestEventManagerPage : public QObject
{
    Q_OBJECT

private slots:
    void eventManaOpensOnBatteryFresh();
    void optionsChooseOneSubPage_data();
    void optionsChooseOneSubPage();
    void switchingDiscardsUnappliedEdits();
    void tabVisitsEveryControlInOrder_data();
    void tabVisitsEveryControlInOrder();
    void keysActAndControlsHaveNames();
};

void TestEventManagerPage::eventManaOpensOnBatteryFresh()
{
    PageFixture p({{key::Delaytime(EventSection::OnBattery), "4"}});
    QCOMPARE(p.page().objectName(), QStringLiteral("FrmEventManager"));
    QCOMPARE(shownSubPages(p), QStringList{"FrmUpsOnBatt"});
    QCOMPARE(chosenOptions(p), QList<bool>({true, false, false}));
    p.click("OptOsLog");
    p.f().set(key::Delaytime(EventSection::OnBattery), "6");
    p.page().EventMana();
    QCOMPARE(shownSubPages(p), QStringList{"FrmUpsOnBatt"});
    QCOMPARE(chosenOptions(p), QList<bool>({true, false, false}));
    QCOMPARE(p.text("TxtOnBattCount"), QStringLiteral("6"));
}

void TestEventManagerPage::optionsChooseOneSubPage_data()
{
    QTest::addColumn<int>("option");
    for (int i = 0; i < 3; ++i)
        QTest::newRow(Options[i]) << i;
}

void TestEventManagerPage::optionsChooseOneSubPage()
{
    QFETCH(int, option);
    PageFixture p;
    p.click(Options[option]);
    QCOMPARE(shownSubPages(p), QStringList{QLatin1String(SubPages[option])});
    QList<bool> expected{false, false, false};
    expected[option] = true;
    QCOMPARE(chosenOptions(p), expected);
    QCOMPARE(p.find<SkinControl>(Options[option])->plainCaption(),
             QStringList({"UPS On Battery ", "UPS Low Battery ", "OS Event Log"})[option]);
}

void TestEventManagerPage::switchingDiscardsUnappliedEdits()
{
    PageFixture p(
        {{key::Shutdown(EventSection::OnBattery), "1"}, {key::Delaytime(EventSection::OnBattery), "3"}});
    p.click("Command7");
    p.click("ChkOnBattE");
    QCOMPARE(p.text("TxtOnBattCount"), QStringLiteral("4"));
    p.click("OptLowBatt");
    p.click("OptOnBatt");
    QCOMPARE(p.text("TxtOnBattCount"), QStringLiteral("3"));
    QCOMPARE(p.value("ChkOnBattE"), 0);
    QCOMPARE(p.value("ChkOnBattS"), 1);
    QVERIFY(p.enabled("ChkOnBattS") && p.enabled("Command7")); // no lock left from the edit
    QVERIFY(p.takeWrites().isEmpty());
}

void TestEventManagerPage::tabVisitsEveryControlInOrder_data()
{
    QTest::addColumn<int>("option");
    QTest::addColumn<QStringList>("cycle");
    const QStringList options{"OptOnBatt", "OptLowBatt", "OptOsLog"};
    QTest::newRow("On Battery") << 0 << options + QStringList{"ChkOnBattE", "ChkOnBattL",     "ChkOnBattS",
                                                              "Command8",   "TxtOnBattCount", "Command7",
                                                              "CmdOnBatt",  "xpcmdbutton6"};
    QTest::newRow("Low Battery") << 1
                                 << options + QStringList{"ChkLowBattE", "ChkLowBattL",     "ChkLowBattS",
                                                          "Command4",    "TxtLowBattCount", "Command3",
                                                          "CmdLowBatt",  "xpcmdbutton10"};
    QTest::newRow("OS Event Log") << 2 << options + QStringList{"ComboPort", "Command2",     "TextLimitLog",
                                                                "Command6",  "Command9",     "TextLimitEvent",
                                                                "Command10", "Command11",    "TextLimitClose",
                                                                "Command12", "ChkOSDisable", "ChkOSSave",
                                                                "Command5",  "xpcmdbutton11"};
}

// With every control enabled, Tab reaches each of them once, in reading order.
void TestEventManagerPage::tabVisitsEveryControlInOrder()
{
    QFETCH(int, option);
    QFETCH(QStringList, cycle);
    PageFixture p(
        {{key::Shutdown(EventSection::OnBattery), "1"}, {key::Shutdown(EventSection::LowBattery), "1"}});
    p.page().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&p.page()));
    p.click(Options[option]);
    QCOMPARE(tabCycle(p.find("OptOnBatt")), cycle);
}

// Space and Enter act as a click; access keys reach the options and the buttons; screen readers
// hear each control's caption (without the access key's mark) or its label.
void TestEventManagerPage::keysActAndControlsHaveNames()
{
    PageFixture p({{key::Shutdown(EventSection::OnBattery), "1"}});
    p.page().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&p.page()));

    QTest::keyClick(&p.page(), Qt::Key_L, Qt::AltModifier);
    QCOMPARE(shownSubPages(p), QStringList{"FrmUpsLowBatt"});
    QTest::keyClick(&p.page(), Qt::Key_B, Qt::AltModifier);
    QCOMPARE(shownSubPages(p), QStringList{"FrmUpsOnBatt"});
    QWidget* disable = p.find("ChkOnBattE");
    disable->setFocus(Qt::TabFocusReason);
    QTest::keyClick(disable, Qt::Key_Space);
    QCOMPARE(p.value("ChkOnBattE"), 1);
    QTest::keyClick(disable, Qt::Key_Return);
    QCOMPARE(p.value("ChkOnBattE"), 0);
    QTest::keyClick(&p.page(), Qt::Key_A, Qt::AltModifier);
    QCOMPARE(p.takeWrites().size(), 4);

    const QList<QPair<const char*, QString>> names{
        {"OptOsLog", "OS Event Log"},
        {"ChkOnBattE", "Disable on all events"},
        {"ChkOnBattL", "Enable for record logs"},
        {"CmdOnBatt", "Apply"},
        {"Command8", "One minute less"},
        {"TxtOnBattCount", "Operating System Shutdown Delay"},
        {"TextLimitClose", "Limit closed applications record count"},
        {"Command12", "Raise the closed applications record limit"},
        {"ComboPort", "Communication port setting"},
    };
    for (const auto& [name, spoken] : names) {
        QAccessibleInterface* control = QAccessible::queryAccessibleInterface(p.find(name));
        QVERIFY2(control, name);
        QCOMPARE(control->text(QAccessible::Name), spoken);
    }
}

QTEST_MAIN(TestEventManagerPage)
#include "tst_eventmanagerpage.moc"
