// The skinned command button, check box and radio button on a settings page: the looks they show
// under the pointer, and the events they raise and in which order.
#include "controls/XpCheckBox.h"
#include "controls/XpCmdButton.h"
#include "controls/XpRadioButton.h"

#include <QFrame>
#include <QTest>

using namespace brevant;

namespace {

// The names of the events a control raised, in the order it raised them.
struct EventLog
{
    explicit EventLog(SkinControl* control)
    {
        const auto listen = [&](auto signal, const char* name) {
            QObject::connect(control, signal, control,
                             [this, name](auto&&...) { events.append(QLatin1String(name)); });
        };
        listen(&SkinControl::Click, "Click");
        listen(&SkinControl::KeyDown, "KeyDown");
        listen(&SkinControl::KeyPress, "KeyPress");
        listen(&SkinControl::KeyUp, "KeyUp");
        listen(&SkinControl::MouseOut, "MouseOut");
        listen(&SkinControl::MouseDown, "MouseDown");
        listen(&SkinControl::MouseMove, "MouseMove");
        listen(&SkinControl::MouseUp, "MouseUp");
    }
    QStringList events;
};

// A command button, a check box, and three radio buttons split over two frames, in an active
// window; another window holds a radio button of its own.
struct Page
{
    Page()
    {
        window.resize(400, 260);
        upper->setGeometry(10, 70, 200, 60);
        lower->setGeometry(10, 140, 200, 60);
        button->setGeometry(220, 10, 90, 23);
        check->setGeometry(10, 10, 200, 20);
        for (int i = 0; i < 3; ++i)
            radios[i]->setGeometry(0, i == 1 ? 30 : 0, 200, 20);
        elsewhere->setValue(true);
        window.show();
        QApplication::setActiveWindow(&window);
        if (!QTest::qWaitForWindowActive(&window))
            qFatal("the test window did not become active");
        QCursor::setPos(window.mapToGlobal(QPoint(390, 250))); // clear of every control
    }

    QWidget window;
    QWidget otherWindow;
    QFrame* upper = new QFrame(&window);
    QFrame* lower = new QFrame(&window);
    XpCmdButton* button = new XpCmdButton(QStringLiteral("&Shutdown"), &window);
    XpCheckBox* check = new XpCheckBox(QStringLiteral("Enable for record logs"), &window);
    XpRadioButton* radios[3] = {new XpRadioButton(QStringLiteral("OptOnBatt"), upper),
                                new XpRadioButton(QStringLiteral("OptLowBatt"), upper),
                                new XpRadioButton(QStringLiteral("OptOsEvent"), lower)};
    XpRadioButton* elsewhere = new XpRadioButton(QStringLiteral("Elsewhere"), &otherWindow);
};

} // namespace

class TestSkinControls : public QObject
{
    Q_OBJECT

private slots:
    void pressedLookFollowsThePointer_data()
    {
        QTest::addColumn<int>("control");      // the button, the check box, the first radio button
        QTest::addColumn<QVariant>("value");   // State of a button, Value of a toggle
        QTest::addColumn<QList<int>>("looks"); // resting, hover, pressed
        QTest::newRow("selected button") << 0 << QVariant(1) << QList<int>{4, 3, 1};
        QTest::newRow("grey check box") << 1 << QVariant(2) << QList<int>{8, 9, 10};
        QTest::newRow("radio button True") << 2 << QVariant(true) << QList<int>{4, 5, 6};
    }

    // Over, down, moved inside, dragged off and released outside: no Click, the value stays.
    void pressedLookFollowsThePointer()
    {
        QFETCH(int, control);
        QFETCH(QVariant, value);
        QFETCH(QList<int>, looks);
        Page p;
        SkinControl* c = QList<SkinControl*>{p.button, p.check, p.radios[0]}[control];
        EventLog log(c);
        const char* property = control == 0 ? "State" : "Value";
        c->setProperty(property, value);
        QList<int> seen{c->look()};
        QTest::mouseMove(c, QPoint(8, 10));
        seen.append(c->look());
        QTest::mousePress(c, Qt::LeftButton, {}, QPoint(8, 10));
        QTest::mouseMove(c, QPoint(40, 12));
        seen.append(c->look());
        QTest::mouseMove(c, QPoint(260, 10));
        seen.append(c->look());
        QTest::mouseRelease(c, Qt::LeftButton, {}, QPoint(260, 10));
        QEvent left(QEvent::Leave); // the offscreen platform reports no pointer leaving a widget
        QApplication::sendEvent(c, &left);
        seen.append(c->look());
        QCOMPARE(seen, looks + QList<int>({looks[0], looks[0]}));
        QCOMPARE(c->property(property), value);
        QCOMPARE(log.events, QStringList({"MouseMove", "MouseDown", "MouseMove", "MouseOut", "MouseUp"}));
    }

    // A handler sees the value from before the click: grey goes to clear, and a radio button clears
    // the others of its window, even in another frame, but not those of another window.
    void clickRaisesClickBeforeTheValueChanges()
    {
        Page p;
        p.check->setValue(XpCheckBox::Grey);
        p.radios[0]->setValue(true);
        p.radios[1]->setValue(true);
        QList<int> seenByHandler;
        connect(p.check, &XpCheckBox::Click, this, [&] { seenByHandler.append(p.check->value()); });
        connect(p.radios[2], &XpRadioButton::Click, this,
                [&] { seenByHandler.append(p.radios[2]->value()); });
        QTest::mouseClick(p.check, Qt::LeftButton, {}, QPoint(8, 10));
        for (int i = 0; i < 2; ++i)
            QTest::mouseClick(p.radios[2], Qt::LeftButton, {}, QPoint(40, 10));
        QCOMPARE(seenByHandler, QList<int>({XpCheckBox::Grey, false, true}));
        QCOMPARE(QList<int>({p.check->value(), p.radios[0]->value(), p.radios[1]->value(),
                             p.radios[2]->value(), p.elsewhere->value()}),
                 QList<int>({XpCheckBox::Clear, false, false, true, true}));
    }

    void buttonKeysRaiseTheirEventsAndClick_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("Space clicks when it goes up")
            << int(Qt::Key_Space) << QStringList({"KeyDown", "KeyPress", "KeyUp", "Click"});
        QTest::newRow("Enter clicks when it goes down")
            << int(Qt::Key_Return) << QStringList({"KeyDown", "KeyPress", "Click", "KeyUp"});
        QTest::newRow("a letter only reports")
            << int(Qt::Key_X) << QStringList({"KeyDown", "KeyPress", "KeyUp"});
    }

    void buttonKeysRaiseTheirEventsAndClick()
    {
        QFETCH(int, key);
        Page p;
        p.button->setFocus(Qt::TabFocusReason);
        EventLog log(p.button);
        QTest::keyClick(p.button, Qt::Key(key));
        QTEST(log.events, "expected");
    }
};

QTEST_MAIN(TestSkinControls)
#include "tst_skincontrols.moc"
