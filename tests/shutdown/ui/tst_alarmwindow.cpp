// The alarm window drawn over the engine's alarm model: real window offscreen, real clicks.
#include "EngineFixture.h"
#include "controls/XpCmdButton.h"
#include "engine/WindowsModel.h"
#include "shutdown/AlarmController.h"
#include "shutdown/ui/AlarmWindow.h"

#include <QLabel>
#include <QTest>

using namespace brevant;
using testsupport::EngineFixture;

namespace {

// On battery with a zero delay: the first countdown step after the first tick shows the window.
struct AlarmUp
{
    AlarmUp()
        : f({{key::Shutdown(EventSection::OnBattery), QStringLiteral("1")},
             {key::Delaytime(EventSection::OnBattery), QStringLiteral("0")}})
        , window(f.engine().alarm())
    {
        f.start();
        f.platform().halvic.setUpsState(SimulatedHalvic::UpsState::OnBattery);
        f.advance(2200 + 1000);
    }
    AlarmController& alarm() { return f.engine().alarm(); }
    template <typename W = QWidget>
    W* find(const char* name)
    {
        return window.findChild<W*>(QLatin1String(name));
    }
    bool shutdownRequested() { return f.get(key::ShutDown) == u"1" || f.platform().powerOff.count() > 0; }

    EngineFixture f;
    AlarmWindow window;
};

QColor pixel(QWidget* widget, QPoint at)
{
    return widget->grab().toImage().pixelColor(at * widget->devicePixelRatioF());
}

} // namespace

class TestAlarmWindow : public QObject
{
    Q_OBJECT

private slots:
    void drawsTheWholeWindow();
    void barFollowsTheModel();
    void titleImagesDoNothing();
    void buttons();
    void windowManagerCloseIsCancel_data();
    void windowManagerCloseIsCancel();
};

void TestAlarmWindow::drawsTheWholeWindow()
{
    AlarmUp a;
    QVERIFY(a.window.isVisible());
    QVERIFY(a.window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(a.window.windowFlags().testFlag(Qt::FramelessWindowHint));
    QVERIFY(!a.window.mask().contains(QPoint(0, 0))); // rounded corners
    QCOMPARE(a.find<QLabel>("lblTitle")->text(), QStringLiteral("Alarm Message"));
    QCOMPARE(a.window.windowTitle(), QStringLiteral("Alarm Message"));
    QCOMPARE(a.find<QLabel>("Label1")->text(),
             QStringLiteral("Please save all files , System will shutdown after five seconds"));
    QVERIFY(a.find("Image1")->isVisible());
    QCOMPARE(a.find("picpgb2")->size(), QSize(415, 19));
    QCOMPARE(a.find<XpCmdButton>("xpcmdbutton1")->plainCaption(), QStringLiteral("Shutdown"));
    QCOMPARE(a.find<XpCmdButton>("xpcmdbutton2")->plainCaption(), QStringLiteral("Cancel"));
    // Every element lies inside the window and clear of the others.
    const char* const parts[] = {"Image1", "Label1", "picpgb2", "xpcmdbutton1", "xpcmdbutton2"};
    for (const char* part : parts) {
        QVERIFY2(a.window.rect().contains(a.find(part)->geometry()), part);
        for (const char* other : parts) {
            if (part != other)
                QVERIFY2(!a.find(part)->geometry().intersects(a.find(other)->geometry()), part);
        }
    }
    QCOMPARE(a.window.focusWidget(), a.find("xpcmdbutton2")); // Enter or Space cancels
}

// An empty bar shows its track where the first chunk goes; the chunk appears with the model's tick
// and goes with the next restart.
void TestAlarmWindow::barFollowsTheModel()
{
    AlarmUp a;
    QWidget* bar = a.find("picpgb2");
    const QPoint firstChunk(AlarmController::BarStart + 4, 10);
    const QColor track = pixel(bar, firstChunk);
    a.f.advance(100);
    QVERIFY(pixel(bar, firstChunk) != track);
    QCOMPARE(pixel(bar, firstChunk + QPoint(AlarmController::ChunkStep, 0)), track);

    a.alarm().pressCancel();
    a.f.advance(5000); // still on battery: the bar starts again, empty
    QVERIFY(a.window.isVisible());
    QCOMPARE(pixel(bar, firstChunk), track);
}

void TestAlarmWindow::titleImagesDoNothing()
{
    AlarmUp a;
    const QPoint at = a.window.pos();
    for (const char* image : {"imgTitleClose", "imgTitleMinimize", "imgTitleHelp"}) {
        QTest::mouseClick(a.find(image), Qt::LeftButton);
        QVERIFY2(a.window.isVisible() && a.alarm().isVisible(), image);
    }
    QWidget* title = a.find("imgTitleMain");
    QTest::mousePress(title, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseMove(title, QPoint(60, 40));
    QTest::mouseRelease(title, Qt::LeftButton, {}, QPoint(60, 40));
    QCOMPARE(a.window.pos(), at);
}

void TestAlarmWindow::buttons()
{
    AlarmUp a;
    QTest::mouseClick(a.find("xpcmdbutton2"), Qt::LeftButton);
    QVERIFY(!a.window.isVisible());
    QVERIFY(a.alarm().isLoaded());
    a.f.advance(5000);
    QVERIFY(a.window.isVisible()); // still on battery

    QTest::mouseClick(a.find("xpcmdbutton1"), Qt::LeftButton);
    QVERIFY(!a.window.isVisible());
    QCOMPARE(a.f.get(key::ShutDown), QStringLiteral("1"));
    QVERIFY(!a.f.engine().windows().isVisible(WindowsModel::frmMain));
}

void TestAlarmWindow::windowManagerCloseIsCancel_data()
{
    QTest::addColumn<bool>("escape");
    QTest::newRow("close from the window manager") << false;
    QTest::newRow("Escape") << true;
}

// Closing the window must not leave the bar running with nothing on screen: it is a Cancel.
void TestAlarmWindow::windowManagerCloseIsCancel()
{
    QFETCH(bool, escape);
    AlarmUp a;
    a.f.advance(1000);
    if (escape)
        QTest::keyClick(&a.window, Qt::Key_Escape);
    else
        a.window.close();
    QVERIFY(!a.window.isVisible());
    QVERIFY(!a.alarm().isVisible());
    a.f.advance(4000); // the bar would have run full by now
    QVERIFY(!a.shutdownRequested());
    QVERIFY(!a.window.isVisible());
    a.f.advance(1000); // as after Cancel: still on battery, the window comes back with an empty bar
    QVERIFY(a.window.isVisible());
    QCOMPARE(a.alarm().barPos(), AlarmController::BarStart);
}

QTEST_MAIN(TestAlarmWindow)
#include "tst_alarmwindow.moc"
