#include "controls/SkinFrameElements.h"
#include "controls/WindowFunctions.h"
#include "controls/XpCanvas.h"

#include <QTest>

using namespace brevant;

// The frames of the skinned windows: the main and alarm windows' title and border images fitted to
// the window's edges with rounded corners, and the question window's fixed XpCanvas.
class TestSkinFrames : public QObject
{
    Q_OBJECT

private slots:
    void applySkinFrameFitsTheElementsToTheWindow();
    void fixedCanvasOnlyMovesFromItsTitle();
};

void TestSkinFrames::applySkinFrameFitsTheElementsToTheWindow()
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
    QCOMPARE(at("imgWindowBottom").bottom(), 299);
    QCOMPARE(at("imgTitleHelp").topLeft(), QPoint(300, 5)); // placed by its window
    // Corners rounded along a 24-pixel ellipse.
    const QRegion mask = window.mask();
    QCOMPARE(QList<bool>({mask.contains(QPoint(2, 2)), mask.contains(QPoint(5, 5)),
                          mask.contains(QPoint(399, 299)), mask.contains(QPoint(399, 150))}),
             QList<bool>({false, true, false, true}));
}

// Neither a border, a grip nor a double click on the title resizes it; dragging the title moves
// it (the offscreen platform has no system move, so the window follows the pointer itself).
void TestSkinFrames::fixedCanvasOnlyMovesFromItsTitle()
{
    QWidget window(nullptr, Qt::FramelessWindowHint);
    const QRect start(100, 100, 300, 200);
    window.setGeometry(start);
    (new XpCanvas(&window))->setProperty("Fixed_Single", true);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const auto drag = [](QWidget* part, QPoint from, QPoint to) {
        QTest::mousePress(part, Qt::LeftButton, {}, from);
        QTest::mouseMove(part, from);
        QTest::mouseMove(part, to);
        QTest::mouseRelease(part, Qt::LeftButton, {}, to);
    };
    for (const char* name : {"picleft", "picright", "picbottom", "imgresizeTop", "imgresizeTopLeft",
                             "imgresizeTopRight", "imgresizeBottomLeft", "imgresizeBottomRight"}) {
        auto* part = window.findChild<QWidget*>(QLatin1String(name));
        QCOMPARE(part->cursor().shape(), Qt::ArrowCursor);
        drag(part, part->rect().center(), part->rect().center() + QPoint(20, 10));
    }
    auto* title = window.findChild<QWidget*>(QStringLiteral("pictop"));
    QTest::mouseDClick(title, Qt::LeftButton, {}, QPoint(100, 10));
    QVERIFY(!window.isMaximized());
    QCOMPARE(window.geometry(), start);
    drag(title, QPoint(100, 10), QPoint(130, 25));
    QCOMPARE(window.geometry(), start.translated(30, 15));
}

QTEST_MAIN(TestSkinFrames)
#include "tst_skinframes.moc"
