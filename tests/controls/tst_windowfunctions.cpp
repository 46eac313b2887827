#include "controls/SkinFrameElements.h"
#include "controls/WindowFunctions.h"

#include <QLabel>
#include <QTest>

using namespace brevant;

class TestWindowFunctions : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void applySkinFramePlacesTheElements_data();
    void applySkinFramePlacesTheElements();
    void applySkinFrameTakesTheTitleAndRoundsTheCorners();
    void roundedCornersFollowA24PixelEllipse_data();
    void roundedCornersFollowA24PixelEllipse();
    void setTopMostKeepsPositionAndSize();
    void windowWithoutElementsIsOnlyRounded();

private:
    QWidget* element(const QString& name) const { return m_window->findChild<QWidget*>(name); }

    QWidget* m_window = nullptr;
    QPoint m_helpBefore;
};

void TestWindowFunctions::init()
{
    m_window = new QWidget;
    m_window->setGeometry(50, 60, 400, 300);
    createSkinFrameElements(m_window, QStringLiteral("Brevant System "));
    element(QStringLiteral("imgTitleHelp"))->move(300, 5);
    ApplySkinFrame(m_window);
}

void TestWindowFunctions::cleanup()
{
    delete m_window;
}

void TestWindowFunctions::applySkinFramePlacesTheElements_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QPoint>("position");
    QTest::addColumn<int>("width"); // -1: the element's own width
    QTest::newRow("title") << "lblTitle" << QPoint(16, 7) << -1;
    QTest::newRow("title left") << "imgTitleLeft" << QPoint(0, 0) << 19;
    QTest::newRow("title middle") << "imgTitleMain" << QPoint(19, 0) << 362;
    QTest::newRow("title right") << "imgTitleRight" << QPoint(381, 0) << 19;
    QTest::newRow("close") << "imgTitleClose" << QPoint(378, 8) << 14;
    QTest::newRow("minimise") << "imgTitleMinimize" << QPoint(361, 8) << 14;
    QTest::newRow("help stays") << "imgTitleHelp" << QPoint(300, 5) << 14;
    QTest::newRow("bottom left") << "imgWindowBottomLeft" << QPoint(0, 270) << 17;
    QTest::newRow("bottom middle") << "imgWindowBottom" << QPoint(17, 270) << 364;
    QTest::newRow("bottom right") << "imgWindowBottomRight" << QPoint(381, 270) << 19;
}

void TestWindowFunctions::applySkinFramePlacesTheElements()
{
    QFETCH(QString, name);
    QFETCH(QPoint, position);
    QFETCH(int, width);
    QWidget* placed = element(name);
    QVERIFY(placed);
    QCOMPARE(placed->pos(), position);
    if (width >= 0)
        QCOMPARE(placed->width(), width);
}

void TestWindowFunctions::applySkinFrameTakesTheTitleAndRoundsTheCorners()
{
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Brevant System "));
    QVERIFY(m_window->windowFlags().testFlag(Qt::FramelessWindowHint));
    QCOMPARE(m_window->mask().boundingRect(), QRect(0, 0, 400, 300));
}

void TestWindowFunctions::roundedCornersFollowA24PixelEllipse_data()
{
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<bool>("inside");
    QTest::newRow("top-left corner") << QPoint(0, 0) << false;
    QTest::newRow("just outside the top-left arc") << QPoint(2, 2) << false;
    QTest::newRow("just inside the top-left arc") << QPoint(5, 5) << true;
    QTest::newRow("where the top edge straightens") << QPoint(12, 0) << true;
    QTest::newRow("bottom-right corner") << QPoint(399, 299) << false;
    QTest::newRow("just inside the bottom-right arc") << QPoint(394, 294) << true;
    QTest::newRow("middle of the right edge") << QPoint(399, 150) << true;
}

void TestWindowFunctions::roundedCornersFollowA24PixelEllipse()
{
    QFETCH(QPoint, point);
    QFETCH(bool, inside);
    m_window->resize(400, 300);
    RoundWindowCorners(m_window);
    QCOMPARE(m_window->mask().contains(point), inside);
}

void TestWindowFunctions::setTopMostKeepsPositionAndSize()
{
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    const QRect before = m_window->geometry();
    SetTopMost(m_window, true);
    QVERIFY(m_window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(m_window->isVisible());
    QCOMPARE(m_window->geometry(), before);
    SetTopMost(m_window, false);
    QVERIFY(!m_window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QCOMPARE(m_window->geometry(), before);
}

void TestWindowFunctions::windowWithoutElementsIsOnlyRounded()
{
    QWidget plain;
    plain.setWindowTitle(QStringLiteral("kept"));
    plain.resize(200, 100);
    ApplySkinFrame(&plain);
    QCOMPARE(plain.windowTitle(), QStringLiteral("kept"));
    QVERIFY(!plain.mask().contains(QPoint(0, 0)));
    QVERIFY(plain.mask().contains(QPoint(100, 50)));
}

QTEST_MAIN(TestWindowFunctions)
#include "tst_windowfunctions.moc"
