#include "EventLog.h"
#include "controls/XpCmdButton.h"

#include <QAccessible>
#include <QMetaMethod>
#include <QTest>

using brevant::SkinControl;
using brevant::XpCmdButton;

class TestXpCmdButton : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void looksFollowTheMouse_data();
    void looksFollowTheMouse();
    void draggingOffAndReleasingDoesNotClick();
    void keysRaiseTheirEventsAndActivate_data();
    void keysRaiseTheirEventsAndActivate();
    void accessKeyClicks();
    void stateChoosesTheRestingLook_data();
    void stateChoosesTheRestingLook();
    void disabledButtonIgnoresTheMouse();
    void captionWiderThanTheButtonIsCutEvenly();
    void screenReadersSeeAButton();

private:
    XpCmdButton* button() const { return m_window->findChild<XpCmdButton*>(QStringLiteral("CmdShutdown")); }
    void leave(QWidget* widget);

    QWidget* m_window = nullptr;
};

void TestXpCmdButton::init()
{
    m_window = new QWidget;
    m_window->setObjectName(QStringLiteral("frmMain"));
    m_window->resize(300, 120);
    auto* shutdown = new XpCmdButton(QStringLiteral("&Shutdown"), m_window);
    shutdown->setObjectName(QStringLiteral("CmdShutdown"));
    shutdown->setGeometry(20, 20, 90, 23);
    auto* apply = new XpCmdButton(QStringLiteral("Apply"), m_window);
    apply->setObjectName(QStringLiteral("CmdApply"));
    apply->setGeometry(20, 60, 90, 23);
    m_window->show();
    QApplication::setActiveWindow(m_window);
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    QCursor::setPos(m_window->mapToGlobal(QPoint(250, 100))); // clear of the buttons
}

void TestXpCmdButton::cleanup()
{
    delete m_window;
    m_window = nullptr;
}

// The offscreen platform reports no pointer leaving a widget; tell the control as the window
// system would.
void TestXpCmdButton::leave(QWidget* widget)
{
    QEvent left(QEvent::Leave);
    QApplication::sendEvent(widget, &left);
}

// Holders find their handlers by this order.
void TestXpCmdButton::looksFollowTheMouse_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("resting");
    QTest::newRow("ordinary") << 0 << int(XpCmdButton::Normal);
    QTest::newRow("selected") << 1 << int(XpCmdButton::Selected);
}

void TestXpCmdButton::looksFollowTheMouse()
{
    QFETCH(int, state);
    QFETCH(int, resting);
    XpCmdButton* shutdown = button();
    shutdown->setState(state);
    EventLog log(shutdown);
    QCOMPARE(shutdown->look(), resting);

    QTest::mouseMove(shutdown, QPoint(30, 10));
    QCOMPARE(shutdown->look(), int(XpCmdButton::Hover));
    QTest::mousePress(shutdown, Qt::LeftButton, {}, QPoint(30, 10));
    QCOMPARE(shutdown->look(), int(XpCmdButton::Pressed));
    QTest::mouseMove(shutdown, QPoint(40, 12));
    QCOMPARE(shutdown->look(), int(XpCmdButton::Pressed));
    QTest::mouseRelease(shutdown, Qt::LeftButton, {}, QPoint(40, 12));
    QCOMPARE(shutdown->look(), resting);
    leave(shutdown);
    leave(shutdown);
    QCOMPARE(shutdown->look(), resting);

    QCOMPARE(log.events,
             QStringList({"MouseMove", "MouseDown", "MouseMove", "MouseUp", "Click", "MouseOut"}));
}

// The pressed look gives way to the resting look once the pointer is outside; no Click.
void TestXpCmdButton::draggingOffAndReleasingDoesNotClick()
{
    XpCmdButton* shutdown = button();
    EventLog log(shutdown);
    QTest::mousePress(shutdown, Qt::LeftButton, {}, QPoint(30, 10));
    QTest::mouseMove(shutdown, QPoint(150, 10));
    QCOMPARE(shutdown->look(), int(XpCmdButton::Normal));
    QTest::mouseRelease(shutdown, Qt::LeftButton, {}, QPoint(150, 10));
    leave(shutdown);
    QCOMPARE(log.events, QStringList({"MouseDown", "MouseOut", "MouseUp"}));
}

void TestXpCmdButton::keysRaiseTheirEventsAndActivate_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("Space clicks when it goes up")
        << int(Qt::Key_Space) << QStringList({"KeyDown", "KeyPress", "KeyUp", "Click"});
    QTest::newRow("Enter clicks when it goes down")
        << int(Qt::Key_Return) << QStringList({"KeyDown", "KeyPress", "Click", "KeyUp"});
    QTest::newRow("a letter only reports") << int(Qt::Key_X) << QStringList({"KeyDown", "KeyPress", "KeyUp"});
    QTest::newRow("Shift reports no character") << int(Qt::Key_Shift) << QStringList({"KeyDown", "KeyUp"});
}

void TestXpCmdButton::keysRaiseTheirEventsAndActivate()
{
    QFETCH(int, key);
    QFETCH(QStringList, expected);
    XpCmdButton* shutdown = button();
    shutdown->setFocus(Qt::TabFocusReason);
    EventLog log(shutdown);
    QTest::keyClick(shutdown, Qt::Key(key));
    QCOMPARE(log.events, expected);
}

void TestXpCmdButton::accessKeyClicks()
{
    XpCmdButton* shutdown = button();
    auto* apply = m_window->findChild<XpCmdButton*>(QStringLiteral("CmdApply"));
    apply->setFocus();
    EventLog log(shutdown);
    QTest::keyClick(apply, Qt::Key_S, Qt::AltModifier);
    QCOMPARE(log.events, QStringList({"Click"}));
    QVERIFY(shutdown->hasFocus());
}

void TestXpCmdButton::stateChoosesTheRestingLook_data()
{
    QTest::addColumn<QList<int>>("states");
    QTest::addColumn<int>("resting");
    QTest::newRow("0") << QList<int>{0} << int(XpCmdButton::Normal);
    QTest::newRow("1") << QList<int>{1} << int(XpCmdButton::Selected);
    QTest::newRow("1 then 0") << QList<int>{1, 0} << int(XpCmdButton::Normal);
    QTest::newRow("1 then 5 keeps selected") << QList<int>{1, 5} << int(XpCmdButton::Selected);
    QTest::newRow("0 then -1 keeps normal") << QList<int>{0, -1} << int(XpCmdButton::Normal);
}

void TestXpCmdButton::stateChoosesTheRestingLook()
{
    QFETCH(QList<int>, states);
    QFETCH(int, resting);
    XpCmdButton* shutdown = button();
    for (int state : states)
        shutdown->setState(state);
    QCOMPARE(shutdown->look(), resting);
    QCOMPARE(shutdown->state(), states.last());
    QTest::mouseClick(shutdown, Qt::LeftButton, {}, QPoint(30, 10));
    QCOMPARE(shutdown->look(), resting);
}

void TestXpCmdButton::disabledButtonIgnoresTheMouse()
{
    XpCmdButton* shutdown = button();
    EventLog log(shutdown);
    shutdown->setProperty("Enabled", false);
    QCOMPARE(shutdown->look(), int(XpCmdButton::Disabled));
    QTest::mouseMove(shutdown, QPoint(30, 10));
    QTest::mouseClick(shutdown, Qt::LeftButton, {}, QPoint(30, 10));
    QCOMPARE(shutdown->look(), int(XpCmdButton::Disabled));
    QVERIFY(log.events.isEmpty());
    shutdown->setEnabled(true);
    QCOMPARE(shutdown->look(), int(XpCmdButton::Normal));
}

// Rendered narrow, the caption must be the middle of the same caption rendered wide: the
// button's face is even across, so every inner column matches its counterpart.
void TestXpCmdButton::captionWiderThanTheButtonIsCutEvenly()
{
    const QString caption = QStringLiteral("Save all applications before the shutdown");
    XpCmdButton narrow(caption);
    XpCmdButton wide(caption);
    const int captionWidth = narrow.fontMetrics().horizontalAdvance(caption);
    narrow.resize(60, 23);
    wide.resize(60 + 2 * captionWidth, 23);
    const QImage narrowImage = narrow.grab().toImage();
    const QImage wideImage = wide.grab().toImage();
    const int shift = captionWidth;

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

void TestXpCmdButton::screenReadersSeeAButton()
{
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(button());
    QVERIFY(accessible);
    QCOMPARE(accessible->role(), QAccessible::Button);
    QCOMPARE(accessible->text(QAccessible::Name), QStringLiteral("Shutdown"));
    EventLog log(button());
    accessible->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QCOMPARE(log.events, QStringList({"Click"}));
}

QTEST_MAIN(TestXpCmdButton)
#include "tst_xpcmdbutton.moc"
