#include "controls/XpCanvas.h"

#include <QLabel>
#include <QTest>

using brevant::XpCanvas;

// The confirmation window framed by XpCanvas.
class TestXpCanvas : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void partsFollowTheWindowSize();
    void releasingADragResizesFromEachBorderAndGrip_data();
    void releasingADragResizesFromEachBorderAndGrip();
    void fixedSingleWindowKeepsItsSize();
    void doubleClickOnTheTitleTogglesMaximised();
    void draggingTheTitleMovesTheWindow();
    void imagesFollowTheWindowsActivation();

private:
    XpCanvas* canvas() const { return m_window->findChild<XpCanvas*>(); }
    QWidget* part(const QString& name) const { return m_window->findChild<QWidget*>(name); }
    void dragAndRelease(QWidget* part, QPoint delta);

    QWidget* m_window = nullptr;
    const QRect m_start{100, 100, 300, 200};
};

void TestXpCanvas::init()
{
    m_window = new QWidget(nullptr, Qt::FramelessWindowHint);
    m_window->setObjectName(QStringLiteral("FrmQuestion"));
    m_window->setGeometry(m_start);
    new XpCanvas(m_window);
    canvas()->setCaption(QStringLiteral("System Information"));
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void TestXpCanvas::cleanup()
{
    delete m_window;
}

void TestXpCanvas::dragAndRelease(QWidget* part, QPoint delta)
{
    const QPoint middle = part->rect().center();
    QTest::mousePress(part, Qt::LeftButton, {}, middle);
    QTest::mouseRelease(part, Qt::LeftButton, {}, middle + delta);
}

void TestXpCanvas::partsFollowTheWindowSize()
{
    m_window->resize(420, 260);
    const QRect window(0, 0, 420, 260);
    QCOMPARE(canvas()->geometry(), window);
    QCOMPARE(part("pictop")->geometry().topRight(), window.topRight());
    QCOMPARE(part("pictop")->width(), 420);
    QCOMPARE(part("picright")->geometry().right(), window.right());
    QCOMPARE(part("picbottom")->geometry().bottomLeft(), window.bottomLeft());
    QCOMPARE(part("picbottom")->width(), 420);
    QCOMPARE(part("imgresizeBottomRight")->geometry().bottomRight(), window.bottomRight());
    QCOMPARE(m_window->findChild<QLabel*>(QStringLiteral("lblshadow"))->text(),
             QStringLiteral("System Information"));
}

void TestXpCanvas::releasingADragResizesFromEachBorderAndGrip_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("expected"); // after dragging 20 right and 10 down
    QTest::newRow("left border") << "picleft" << QRect(120, 100, 280, 200);
    QTest::newRow("right border") << "picright" << QRect(100, 100, 320, 200);
    QTest::newRow("top grip") << "imgresizeTop" << QRect(100, 110, 300, 190);
    QTest::newRow("bottom border") << "picbottom" << QRect(100, 100, 300, 210);
    QTest::newRow("top-left grip") << "imgresizeTopLeft" << QRect(120, 110, 280, 190);
}

void TestXpCanvas::releasingADragResizesFromEachBorderAndGrip()
{
    QFETCH(QString, name);
    QFETCH(QRect, expected);
    QWidget* grip = part(name);
    QVERIFY(grip);
    QVERIFY(grip->cursor().shape() != Qt::ArrowCursor);
    const QPoint middle = grip->rect().center();
    QTest::mousePress(grip, Qt::LeftButton, {}, middle);
    QTest::mouseMove(grip, middle + QPoint(20, 10));
    QCOMPARE(m_window->geometry(), m_start);
    QTest::mouseRelease(grip, Qt::LeftButton, {}, middle + QPoint(20, 10));
    QCOMPARE(m_window->geometry(), expected);
}

void TestXpCanvas::fixedSingleWindowKeepsItsSize()
{
    canvas()->setProperty("Fixed_Single", true);
    for (const char* name : {"picleft", "picright", "picbottom", "imgresizeTop", "imgresizeTopLeft",
                             "imgresizeTopRight", "imgresizeBottomLeft", "imgresizeBottomRight"}) {
        QWidget* grip = part(QLatin1String(name));
        QCOMPARE(grip->cursor().shape(), Qt::ArrowCursor);
        dragAndRelease(grip, QPoint(20, 10));
    }
    QTest::mouseDClick(part("pictop"), Qt::LeftButton, {}, QPoint(100, 10));
    QVERIFY(!m_window->isMaximized());
    QCOMPARE(m_window->geometry(), m_start);
}

void TestXpCanvas::doubleClickOnTheTitleTogglesMaximised()
{
    QWidget* title = part("pictop");
    QTest::mouseDClick(title, Qt::LeftButton, {}, QPoint(100, 10));
    QTRY_VERIFY(m_window->isMaximized());
    QCOMPARE(part("picright")->cursor().shape(), Qt::ArrowCursor);
    dragAndRelease(part("picright"), QPoint(-40, 0));
    QVERIFY(m_window->isMaximized());
    QTest::mouseDClick(title, Qt::LeftButton, {}, QPoint(100, 10));
    QTRY_VERIFY(!m_window->isMaximized());
    QCOMPARE(part("picright")->cursor().shape(), Qt::SizeHorCursor);
}

// The offscreen platform has no system move, so the window follows the pointer itself.
void TestXpCanvas::draggingTheTitleMovesTheWindow()
{
    QWidget* title = part("pictop");
    QTest::mousePress(title, Qt::LeftButton, {}, QPoint(100, 10));
    QTest::mouseMove(title, QPoint(100, 10));
    QTest::mouseMove(title, QPoint(130, 25));
    QTest::mouseRelease(title, Qt::LeftButton, {}, QPoint(130, 25));
    QCOMPARE(m_window->geometry(), m_start.translated(30, 15));
}

// The title bar is drawn in blue while the window is active and in grey while it is not.
void TestXpCanvas::imagesFollowTheWindowsActivation()
{
    const auto titleColour = [this] {
        const QImage title = part("pictop")->grab().toImage();
        return QColor(title.pixel(title.width() / 2, 20));
    };
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    QWidget other;
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    QVERIFY(!canvas()->showsActiveImages());
    const QColor inactive = titleColour();
    QVERIFY(qAbs(inactive.blue() - inactive.red()) < 24);

    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    QVERIFY(canvas()->showsActiveImages());
    const QColor active = titleColour();
    QVERIFY(active.blue() - active.red() > 100);
}

QTEST_MAIN(TestXpCanvas)
#include "tst_xpcanvas.moc"
