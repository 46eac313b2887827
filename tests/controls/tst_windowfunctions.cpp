#include "controls/SkinFrameElements.h"
#include "controls/WindowFunctions.h"

#include <QTest>

using namespace brevant;

// The frame every skinned window shares: title and border images fitted to the window's edges,
// rounded corners, and keeping on top without moving.
class TestWindowFunctions : public QObject
{
    Q_OBJECT

private slots:
    void applySkinFrameFitsTheElementsToTheWindow();
    void roundedCornersFollowA24PixelEllipse_data();
    void roundedCornersFollowA24PixelEllipse();
    void setTopMostKeepsPositionAndSize();
};

void TestWindowFunctions::applySkinFrameFitsTheElementsToTheWindow()
{
    QWidget window;
    window.setGeometry(50, 60, 400, 300);
    createSkinFrameElements(&window, QStringLiteral("Brevant System "));
    const auto at = [&window](const char* name) {
        return window.findChild<QWidget*>(QLatin1String(name))->geometry();
    };
    window.findChild<QWidget*>(QStringLiteral("imgTitleHelp"))->move(300, 5);
    ApplySkinFrame(&window);
    QCOMPARE(window.windowTitle(), QStringLiteral("Brevant System "));
    QVERIFY(window.windowFlags().testFlag(Qt::FramelessWindowHint));
    // The title and bottom strips run from edge to edge without gaps.
    for (const auto& [left, middle, right] :
         {std::tuple{"imgTitleLeft", "imgTitleMain", "imgTitleRight"},
          {"imgWindowBottomLeft", "imgWindowBottom", "imgWindowBottomRight"}}) {
        QCOMPARE(at(left).left(), 0);
        QCOMPARE(at(middle).left(), at(left).right() + 1);
        QCOMPARE(at(right).left(), at(middle).right() + 1);
        QCOMPARE(at(right).right(), 399);
    }
    QCOMPARE(at("imgTitleLeft").top(), 0);
    QCOMPARE(at("imgWindowBottom").bottom(), 299);
    QVERIFY(at("imgTitleMinimize").right() < at("imgTitleClose").left());
    QVERIFY(at("imgTitleRight").intersects(at("imgTitleClose")));
    QCOMPARE(at("imgTitleHelp").topLeft(), QPoint(300, 5)); // placed by its window
}

void TestWindowFunctions::roundedCornersFollowA24PixelEllipse_data()
{
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<bool>("inside");
    QTest::newRow("top-left corner") << QPoint(0, 0) << false;
    QTest::newRow("just outside the top-left arc") << QPoint(2, 2) << false;
    QTest::newRow("just inside the top-left arc") << QPoint(5, 5) << true;
    QTest::newRow("bottom-right corner") << QPoint(399, 299) << false;
    QTest::newRow("middle of the right edge") << QPoint(399, 150) << true;
}

// A window without frame elements keeps its title and is only rounded.
void TestWindowFunctions::roundedCornersFollowA24PixelEllipse()
{
    QFETCH(QPoint, point);
    QFETCH(bool, inside);
    QWidget plain;
    plain.setWindowTitle(QStringLiteral("kept"));
    plain.resize(400, 300);
    ApplySkinFrame(&plain);
    QCOMPARE(plain.windowTitle(), QStringLiteral("kept"));
    QCOMPARE(plain.mask().contains(point), inside);
}

void TestWindowFunctions::setTopMostKeepsPositionAndSize()
{
    QWidget window;
    window.setGeometry(50, 60, 400, 300);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QRect before = window.geometry();
    SetTopMost(&window, true);
    QVERIFY(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(window.isVisible());
    QCOMPARE(window.geometry(), before);
    SetTopMost(&window, false);
    QVERIFY(!window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QCOMPARE(window.geometry(), before);
}

QTEST_MAIN(TestWindowFunctions)
#include "tst_windowfunctions.moc"
