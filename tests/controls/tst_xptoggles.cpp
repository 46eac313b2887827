#include "EventLog.h"
#include "controls/XpCheckBox.h"
#include "controls/XpRadioButton.h"

#include <QAccessible>
#include <QFrame>
#include <QTest>

using brevant::XpCheckBox;
using brevant::XpRadioButton;
using brevant::XpToggle;

class TestXpToggles : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void clickRaisesClickBeforeTheValueChanges_data();
    void clickRaisesClickBeforeTheValueChanges();
    void settingValueRaisesNoClick();
    void looksFollowTheMouse_data();
    void looksFollowTheMouse();
    void disabledCheckBoxShowsItsValueAndIgnoresTheMouse();
    void spaceTogglesTheFocusedCheckBox();
    void radioButtonsOfOneWindowFormOneGroup();
    void screenReadersSeeTheCheckState();

private:
    template <typename T>
    T* find(const char* name) const
    {
        return m_window->findChild<T*>(QLatin1String(name));
    }

    QWidget* m_window = nullptr;
    QWidget* m_otherWindow = nullptr;
};

// A settings page: a check box, and three radio buttons split over two frames; another
// window holds a radio button of its own.
void TestXpToggles::init()
{
    m_window = new QWidget;
    m_window->resize(400, 200);
    auto* check = new XpCheckBox(QStringLiteral("Enable for record logs"), m_window);
    check->setObjectName(QStringLiteral("ChkOnBattE"));
    check->setGeometry(10, 10, 200, 20);
    auto* upper = new QFrame(m_window);
    upper->setGeometry(10, 40, 300, 60);
    auto* lower = new QFrame(m_window);
    lower->setGeometry(10, 110, 300, 60);
    const struct
    {
        const char* name;
        QFrame* frame;
        int y;
    } radios[] = {{"OptOnBatt", upper, 0}, {"OptLowBatt", upper, 30}, {"OptOsEvent", lower, 0}};
    for (const auto& radio : radios) {
        auto* button = new XpRadioButton(QLatin1String(radio.name), radio.frame);
        button->setObjectName(QLatin1String(radio.name));
        button->setGeometry(0, radio.y, 200, 20);
    }
    m_otherWindow = new QWidget;
    auto* elsewhere = new XpRadioButton(QStringLiteral("Elsewhere"), m_otherWindow);
    elsewhere->setObjectName(QStringLiteral("OptElsewhere"));
    elsewhere->setValue(true);
    m_window->show();
    QApplication::setActiveWindow(m_window);
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    QCursor::setPos(m_window->mapToGlobal(QPoint(390, 190))); // clear of every control
}

void TestXpToggles::cleanup()
{
    delete m_window;
    delete m_otherWindow;
}

void TestXpToggles::clickRaisesClickBeforeTheValueChanges_data()
{
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("after");
    QTest::newRow("clear becomes checked") << 0 << 1;
    QTest::newRow("checked becomes clear") << 1 << 0;
    QTest::newRow("grey becomes clear") << 2 << 0;
    QTest::newRow("other values stay") << 7 << 7;
}

void TestXpToggles::clickRaisesClickBeforeTheValueChanges()
{
    QFETCH(int, before);
    QFETCH(int, after);
    auto* check = find<XpCheckBox>("ChkOnBattE");
    check->setValue(before);
    const int lookBefore = check->look();
    QList<int> seenByHandler;
    connect(check, &XpCheckBox::Click, this, [&] { seenByHandler.append(check->value()); });

    QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(8, 10));
    QCOMPARE(seenByHandler, QList<int>{before});
    QCOMPARE(check->value(), after);
    QCOMPARE(check->look(), after <= 2 ? 4 * after : lookBefore);
}

void TestXpToggles::settingValueRaisesNoClick()
{
    auto* check = find<XpCheckBox>("ChkOnBattE");
    auto* radio = find<XpRadioButton>("OptOnBatt");
    EventLog checkLog(check);
    EventLog radioLog(radio);
    check->setProperty("Value", 2);
    radio->setProperty("Value", true);
    QCOMPARE(check->look(), 8);
    QCOMPARE(radio->look(), 4);
    QVERIFY(checkLog.events.isEmpty());
    QVERIFY(radioLog.events.isEmpty());
}

void TestXpToggles::looksFollowTheMouse_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<int>("first"); // first image of the value's four looks
    QTest::newRow("clear check box") << "ChkOnBattE" << QVariant(0) << 0;
    QTest::newRow("checked check box") << "ChkOnBattE" << QVariant(1) << 4;
    QTest::newRow("grey check box") << "ChkOnBattE" << QVariant(2) << 8;
    QTest::newRow("radio button False") << "OptOnBatt" << QVariant(false) << 0;
    QTest::newRow("radio button True") << "OptOnBatt" << QVariant(true) << 4;
}

// Down, moves with and without the button, up outside, and the pointer leaving.
void TestXpToggles::looksFollowTheMouse()
{
    QFETCH(QString, name);
    QFETCH(QVariant, value);
    QFETCH(int, first);
    auto* toggle = m_window->findChild<XpToggle*>(name);
    toggle->setProperty("Value", value);
    EventLog log(toggle);
    QCOMPARE(toggle->look(), first + XpToggle::Normal);

    QTest::mouseMove(toggle, QPoint(8, 10));
    QCOMPARE(toggle->look(), first + XpToggle::Hover);
    QTest::mousePress(toggle, Qt::LeftButton, {}, QPoint(8, 10));
    QCOMPARE(toggle->look(), first + XpToggle::Pressed);
    QTest::mouseMove(toggle, QPoint(60, 10));
    QCOMPARE(toggle->look(), first + XpToggle::Pressed);
    QTest::mouseMove(toggle, QPoint(260, 10));
    QCOMPARE(toggle->look(), first + XpToggle::Normal);
    QTest::mouseRelease(toggle, Qt::LeftButton, {}, QPoint(260, 10));
    QCOMPARE(toggle->property("Value"), value);
    QEvent left(QEvent::Leave);
    QApplication::sendEvent(toggle, &left);
    QCOMPARE(log.events, QStringList({"MouseMove", "MouseDown", "MouseMove", "MouseOut", "MouseUp"}));
}

void TestXpToggles::disabledCheckBoxShowsItsValueAndIgnoresTheMouse()
{
    auto* check = find<XpCheckBox>("ChkOnBattE");
    check->setValue(XpCheckBox::Checked);
    check->setEnabled(false);
    EventLog log(check);
    QCOMPARE(check->look(), 7);
    QTest::mouseMove(check, QPoint(8, 10));
    QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(8, 10));
    QCOMPARE(check->look(), 7);
    QCOMPARE(check->value(), int(XpCheckBox::Checked));
    QVERIFY(log.events.isEmpty());
}

void TestXpToggles::spaceTogglesTheFocusedCheckBox()
{
    auto* check = find<XpCheckBox>("ChkOnBattE");
    check->setFocus(Qt::TabFocusReason);
    EventLog log(check);
    QTest::keyClick(check, Qt::Key_Space);
    QCOMPARE(check->value(), int(XpCheckBox::Checked));
    QCOMPARE(log.events, QStringList({"KeyDown", "KeyPress", "KeyUp", "Click"}));
}

void TestXpToggles::radioButtonsOfOneWindowFormOneGroup()
{
    auto* onBattery = find<XpRadioButton>("OptOnBatt");
    auto* lowBattery = find<XpRadioButton>("OptLowBatt");
    auto* osEvent = find<XpRadioButton>("OptOsEvent");
    onBattery->setValue(true);
    lowBattery->setValue(true);
    QList<bool> seenByHandler;
    connect(osEvent, &XpRadioButton::Click, this, [&] { seenByHandler.append(osEvent->value()); });

    QTest::mouseClick(osEvent, Qt::LeftButton, {}, QPoint(40, 10));
    QCOMPARE(seenByHandler, QList<bool>{false});
    QVERIFY(!onBattery->value());
    QVERIFY(!lowBattery->value());
    QVERIFY(osEvent->value());
    QCOMPARE(osEvent->look(), 4);
    QVERIFY(m_otherWindow->findChild<XpRadioButton*>(QStringLiteral("OptElsewhere"))->value());

    QTest::mouseClick(osEvent, Qt::LeftButton, {}, QPoint(40, 10));
    QCOMPARE(seenByHandler, QList<bool>({false, true}));
    QVERIFY(osEvent->value());
}

void TestXpToggles::screenReadersSeeTheCheckState()
{
    auto* check = find<XpCheckBox>("ChkOnBattE");
    check->setValue(XpCheckBox::Grey);
    QAccessibleInterface* checkAccessible = QAccessible::queryAccessibleInterface(check);
    QCOMPARE(checkAccessible->role(), QAccessible::CheckBox);
    QVERIFY(checkAccessible->state().checkStateMixed);
    checkAccessible->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    QCOMPARE(check->value(), int(XpCheckBox::Clear));

    QAccessibleInterface* radioAccessible =
        QAccessible::queryAccessibleInterface(find<XpRadioButton>("OptOnBatt"));
    QCOMPARE(radioAccessible->role(), QAccessible::RadioButton);
    QVERIFY(!radioAccessible->state().checked);
}

QTEST_MAIN(TestXpToggles)
#include "tst_xptoggles.moc"
