// The skinned command button, check box and radio button on a settings page: the looks they show
// under the pointer, the events they raise and in which order, keys, and what screen readers see.
#include "controls/XpCheckBox.h"
#include "controls/XpCmdButton.h"
#include "controls/XpRadioButton.h"

#include <QAccessible>
#include <QFrame>
#include <QTest>

using namespace brevant;

namespace {

// The names of the events a control raised, in the order it raised them.
struct EventLog
{
    explicit EventLog(SkinControl* control)
    {
        listen(control, &SkinControl::Click, "Click");
        listen(control, &SkinControl::KeyDown, "KeyDown");
        listen(control, &SkinControl::KeyPress, "KeyPress");
        listen(control, &SkinControl::KeyUp, "KeyUp");
        listen(control, &SkinControl::MouseOut, "MouseOut");
        listen(control, &SkinControl::MouseDown, "MouseDown");
        listen(control, &SkinControl::MouseMove, "MouseMove");
        listen(control, &SkinControl::MouseUp, "MouseUp");
    }
    template <typename Signal>
    void listen(SkinControl* control, Signal signal, const char* name)
    {
        QObject::connect(control, signal, control,
                         [this, name](auto&&...) { events.append(QLatin1String(name)); });
    }

    QStringList events;
};

// The offscreen platform reports no pointer leaving a widget; tell the control as the window
// system would.
void leave(QWidget* widget)
{
    QEvent left(QEvent::Leave);
    QApplication::sendEvent(widget, &left);
}

} // namespace

class TestSkinControls : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void pressedLookFollowsThePointer_data();
    void pressedLookFollowsThePointer();
    void clickRaisesClickBeforeTheValueChanges_data();
    void clickRaisesClickBeforeTheValueChanges();
    void radioButtonsOfOneWindowFormOneGroup();
    void keysRaiseTheirEventsAndActivate_data();
    void keysRaiseTheirEventsAndActivate();
    void accessKeyClicks();
    void disabledControlIgnoresTheMouse_data();
    void disabledControlIgnoresTheMouse();
    void captionWiderThanTheButtonIsCutEvenly();
    void screenReadersSeeTheControls();

private:
    template <typename T = SkinControl>
    T* find(const QString& name) const
    {
        return m_window->findChild<T*>(name);
    }

    QWidget* m_window = nullptr;
    QWidget* m_otherWindow = nullptr;
};

// Two command buttons, a check box, and three radio buttons split over two frames; another window
// holds a radio button of its own.
void TestSkinControls::init()
{
    m_window = new QWidget;
    m_window->resize(400, 260);
    const auto place = [](SkinControl* control, const char* name, QRect at) {
        control->setObjectName(QLatin1String(name));
        control->setGeometry(at);
    };
    place(new XpCmdButton(QStringLiteral("&Shutdown"), m_window), "CmdShutdown", {220, 10, 90, 23});
    place(new XpCmdButton(QStringLiteral("Apply"), m_window), "CmdApply", {220, 40, 90, 23});
    place(new XpCheckBox(QStringLiteral("Enable for record logs"), m_window), "ChkOnBattE",
          {10, 10, 200, 20});
    auto* upper = new QFrame(m_window);
    upper->setGeometry(10, 70, 200, 60);
    auto* lower = new QFrame(m_window);
    lower->setGeometry(10, 140, 200, 60);
    place(new XpRadioButton(QStringLiteral("OptOnBatt"), upper), "OptOnBatt", {0, 0, 200, 20});
    place(new XpRadioButton(QStringLiteral("OptLowBatt"), upper), "OptLowBatt", {0, 30, 200, 20});
    place(new XpRadioButton(QStringLiteral("OptOsEvent"), lower), "OptOsEvent", {0, 0, 200, 20});
    m_otherWindow = new QWidget;
    auto* elsewhere = new XpRadioButton(QStringLiteral("Elsewhere"), m_otherWindow);
    elsewhere->setObjectName(QStringLiteral("OptElsewhere"));
    elsewhere->setValue(true);
    m_window->show();
    QApplication::setActiveWindow(m_window);
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    QCursor::setPos(m_window->mapToGlobal(QPoint(390, 250))); // clear of every control
}

void TestSkinControls::cleanup()
{
    delete m_window;
    delete m_otherWindow;
}

void TestSkinControls::pressedLookFollowsThePointer_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVariant>("value");   // State of a button, Value of a toggle
    QTest::addColumn<QList<int>>("looks"); // resting, hover, pressed
    QTest::newRow("button") << "CmdShutdown" << QVariant(0) << QList<int>{0, 3, 1};
    QTest::newRow("selected button") << "CmdShutdown" << QVariant(1) << QList<int>{4, 3, 1};
    QTest::newRow("clear check box") << "ChkOnBattE" << QVariant(0) << QList<int>{0, 1, 2};
    QTest::newRow("grey check box") << "ChkOnBattE" << QVariant(2) << QList<int>{8, 9, 10};
    QTest::newRow("radio button True") << "OptOnBatt" << QVariant(true) << QList<int>{4, 5, 6};
}

// Over, down, moved inside, dragged off and released outside: no Click, the value stays.
void TestSkinControls::pressedLookFollowsThePointer()
{
    QFETCH(QString, name);
    QFETCH(QVariant, value);
    QFETCH(QList<int>, looks);
    SkinControl* control = find(name);
    EventLog log(control);
    control->setProperty(control->property("State").isValid() ? "State" : "Value", value);
    QCOMPARE(control->look(), looks[0]);

    QTest::mouseMove(control, QPoint(8, 10));
    QCOMPARE(control->look(), looks[1]);
    QTest::mousePress(control, Qt::LeftButton, {}, QPoint(8, 10));
    QCOMPARE(control->look(), looks[2]);
    QTest::mouseMove(control, QPoint(40, 12));
    QCOMPARE(control->look(), looks[2]);
    QTest::mouseMove(control, QPoint(260, 10));
    QCOMPARE(control->look(), looks[0]);
    QTest::mouseRelease(control, Qt::LeftButton, {}, QPoint(260, 10));
    leave(control);
    QCOMPARE(control->look(), looks[0]);
    QCOMPARE(control->property(control->property("State").isValid() ? "State" : "Value"), value);
    QCOMPARE(log.events, QStringList({"MouseMove", "MouseDown", "MouseMove", "MouseOut", "MouseUp"}));
}

void TestSkinControls::clickRaisesClickBeforeTheValueChanges_data()
{
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("after");
    QTest::newRow("clear becomes checked") << 0 << 1;
    QTest::newRow("checked becomes clear") << 1 << 0;
    QTest::newRow("grey becomes clear") << 2 << 0;
    QTest::newRow("other values stay") << 7 << 7;
}

void TestSkinControls::clickRaisesClickBeforeTheValueChanges()
{
    QFETCH(int, before);
    QFETCH(int, after);
    auto* check = find<XpCheckBox>(QStringLiteral("ChkOnBattE"));
    check->setValue(before);
    const int lookBefore = check->look();
    QList<int> seenByHandler;
    connect(check, &XpCheckBox::Click, this, [&] { seenByHandler.append(check->value()); });
    QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(8, 10));
    QCOMPARE(seenByHandler, QList<int>{before});
    QCOMPARE(check->value(), after);
    QCOMPARE(check->look(), after <= 2 ? 4 * after : lookBefore);
}

void TestSkinControls::radioButtonsOfOneWindowFormOneGroup()
{
    auto* onBattery = find<XpRadioButton>(QStringLiteral("OptOnBatt"));
    auto* lowBattery = find<XpRadioButton>(QStringLiteral("OptLowBatt"));
    auto* osEvent = find<XpRadioButton>(QStringLiteral("OptOsEvent"));
    onBattery->setValue(true);
    lowBattery->setValue(true);
    QList<bool> seenByHandler;
    connect(osEvent, &XpRadioButton::Click, this, [&] { seenByHandler.append(osEvent->value()); });

    QTest::mouseClick(osEvent, Qt::LeftButton, {}, QPoint(40, 10));
    QCOMPARE(seenByHandler, QList<bool>{false});
    QVERIFY(!onBattery->value() && !lowBattery->value() && osEvent->value());
    QCOMPARE(osEvent->look(), 4);
    QVERIFY(m_otherWindow->findChild<XpRadioButton*>(QStringLiteral("OptElsewhere"))->value());

    QTest::mouseClick(osEvent, Qt::LeftButton, {}, QPoint(40, 10));
    QCOMPARE(seenByHandler, QList<bool>({false, true}));
    QVERIFY(osEvent->value());
}

void TestSkinControls::keysRaiseTheirEventsAndActivate_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("key");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("Space clicks a button when it goes up")
        << "CmdShutdown" << int(Qt::Key_Space) << QStringList({"KeyDown", "KeyPress", "KeyUp", "Click"});
    QTest::newRow("Enter clicks a button when it goes down")
        << "CmdShutdown" << int(Qt::Key_Return) << QStringList({"KeyDown", "KeyPress", "Click", "KeyUp"});
    QTest::newRow("a letter only reports")
        << "CmdShutdown" << int(Qt::Key_X) << QStringList({"KeyDown", "KeyPress", "KeyUp"});
    QTest::newRow("Shift reports no character")
        << "CmdShutdown" << int(Qt::Key_Shift) << QStringList({"KeyDown", "KeyUp"});
    QTest::newRow("Space toggles a check box")
        << "ChkOnBattE" << int(Qt::Key_Space) << QStringList({"KeyDown", "KeyPress", "KeyUp", "Click"});
}

void TestSkinControls::keysRaiseTheirEventsAndActivate()
{
    QFETCH(QString, name);
    QFETCH(int, key);
    QFETCH(QStringList, expected);
    SkinControl* control = find(name);
    control->setFocus(Qt::TabFocusReason);
    EventLog log(control);
    QTest::keyClick(control, Qt::Key(key));
    QCOMPARE(log.events, expected);
    if (auto* check = qobject_cast<XpCheckBox*>(control))
        QCOMPARE(check->value(), int(XpCheckBox::Checked));
}

void TestSkinControls::accessKeyClicks()
{
    SkinControl* shutdown = find(QStringLiteral("CmdShutdown"));
    SkinControl* apply = find(QStringLiteral("CmdApply"));
    apply->setFocus();
    EventLog log(shutdown);
    QTest::keyClick(apply, Qt::Key_S, Qt::AltModifier);
    QCOMPARE(log.events, QStringList({"Click"}));
    QVERIFY(shutdown->hasFocus());
}

void TestSkinControls::disabledControlIgnoresTheMouse_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("look");
    QTest::newRow("button") << "CmdShutdown" << int(XpCmdButton::Disabled);
    QTest::newRow("checked check box shows its value") << "ChkOnBattE" << 7;
}

void TestSkinControls::disabledControlIgnoresTheMouse()
{
    QFETCH(QString, name);
    QFETCH(int, look);
    SkinControl* control = find(name);
    if (auto* check = qobject_cast<XpCheckBox*>(control))
        check->setValue(XpCheckBox::Checked);
    const int resting = control->look();
    EventLog log(control);
    control->setProperty("Enabled", false);
    QCOMPARE(control->look(), look);
    QTest::mouseMove(control, QPoint(8, 10));
    QTest::mouseClick(control, Qt::LeftButton, {}, QPoint(8, 10));
    QCOMPARE(control->look(), look);
    QVERIFY(log.events.isEmpty());
    control->setEnabled(true);
    QCOMPARE(control->look(), resting);
}

// Rendered narrow, the caption must be the middle of the same caption rendered wide: the
// button's face is even across, so every inner column matches its counterpart.
void TestSkinControls::captionWiderThanTheButtonIsCutEvenly()
{
    const QString caption = QStringLiteral("Save all applications before the shutdown");
    XpCmdButton narrow(caption);
    XpCmdButton wide(caption);
    const int shift = narrow.fontMetrics().horizontalAdvance(caption);
    narrow.resize(60, 23);
    wide.resize(60 + 2 * shift, 23);
    const QImage narrowImage = narrow.grab().toImage();
    const QImage wideImage = wide.grab().toImage();
    int inkedColumns = 0;
    for (int x = 3; x < narrow.width() - 3; ++x) {
        bool inked = false;
        for (int y = 3; y < narrow.height() - 3; ++y) {
            QCOMPARE(narrowImage.pixel(x, y), wideImage.pixel(x + shift, y));
            inked = inked || qGray(narrowImage.pixel(x, y)) < 128;
        }
        inkedColumns += inked ? 1 : 0;
    }
    QVERIFY(inkedColumns > 10);
}

void TestSkinControls::screenReadersSeeTheControls()
{
    SkinControl* shutdown = find(QStringLiteral("CmdShutdown"));
    QAccessibleInterface* button = QAccessible::queryAccessibleInterface(shutdown);
    QCOMPARE(button->role(), QAccessible::Button);
    QCOMPARE(button->text(QAccessible::Name), QStringLiteral("Shutdown"));
    EventLog log(shutdown);
    button->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QCOMPARE(log.events, QStringList({"Click"}));

    auto* check = find<XpCheckBox>(QStringLiteral("ChkOnBattE"));
    check->setValue(XpCheckBox::Grey);
    QAccessibleInterface* checkAccessible = QAccessible::queryAccessibleInterface(check);
    QCOMPARE(checkAccessible->role(), QAccessible::CheckBox);
    QVERIFY(checkAccessible->state().checkStateMixed);
    checkAccessible->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    QCOMPARE(check->value(), int(XpCheckBox::Clear));
}

QTEST_MAIN(TestSkinControls)
#include "tst_skincontrols.moc"
