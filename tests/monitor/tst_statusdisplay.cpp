#include "monitor/StatusDisplay.h"
#include "platform/sim/VirtualScheduler.h"

#include <QTest>

using namespace brevant;

class TestStatusDisplay : public QObject
{
    Q_OBJECT

private slots:
    void displayOperationsChooseOneAnimation();
    void usbMainsAnimationWaitsForTheLink();
    void mainsFlowRunsTwoCyclesPerPeriod();
    void blinkingPhaseSurvivesRepeatedDisplay();
    void disconnectedShowsStillMainsPipe();
};

void TestStatusDisplay::displayOperationsChooseOneAnimation()
{
    VirtualScheduler s;
    StatusDisplay d(s);
    d.AcPipeDisplay(false, false);
    QVERIFY(d.isRunning(StatusDisplay::Timer4));
    d.DcPipeDisplay();
    d.LowPipeDisable();
    d.AcPipeDisable();
    QVERIFY(!d.isRunning(StatusDisplay::Timer4));
    QVERIFY(d.isRunning(StatusDisplay::Timer5));
    QVERIFY(!d.isVisible(StatusDisplay::Image1));
    QVERIFY(d.isVisible(StatusDisplay::ImageDC1) && d.isVisible(StatusDisplay::ImageDC2));
    d.LowPipeDisplay();
    d.DcPipeDisable();
    QVERIFY(!d.isRunning(StatusDisplay::Timer5));
    QVERIFY(d.isRunning(StatusDisplay::Timer6));
    QVERIFY(!d.isVisible(StatusDisplay::ImageDC1));
}

void TestStatusDisplay::usbMainsAnimationWaitsForTheLink()
{
    VirtualScheduler s;
    StatusDisplay d(s);
    d.AcPipeDisplay(true, false);
    QVERIFY(!d.isRunning(StatusDisplay::Timer4));
    d.AcPipeDisplay(true, true);
    QVERIFY(d.isRunning(StatusDisplay::Timer4));
}

void TestStatusDisplay::mainsFlowRunsTwoCyclesPerPeriod()
{
    VirtualScheduler s;
    StatusDisplay d(s);
    QList<int> frames;
    connect(&d, &StatusDisplay::flowPictureChanged, this, [&](int picture) { frames.append(picture); });
    d.AcPipeDisplay(false, false);
    s.advanceBy(1000); // Timer4: AC1 -> AC2, flow frames start
    QVERIFY(!d.isVisible(StatusDisplay::ImageAC1));
    QVERIFY(d.isVisible(StatusDisplay::ImageAC2));
    QVERIFY(d.isRunning(StatusDisplay::Timer7));
    s.advanceBy(2000);
    // Frames count down from 6 to 1, the second cycle begins, and the next Timer4 tick ends it.
    QCOMPARE(frames.mid(0, 6), (QList<int>{6, 5, 4, 3, 2, 1}));
    QVERIFY(!d.isRunning(StatusDisplay::Timer7));
    QCOMPARE(d.flowCycles(), 0); // the next Timer4 tick ended the cycle and reset
    QVERIFY(d.isVisible(StatusDisplay::ImageAC1));
    QVERIFY(!d.isVisible(StatusDisplay::ImageAC2));
}

void TestStatusDisplay::blinkingPhaseSurvivesRepeatedDisplay()
{
    VirtualScheduler s;
    StatusDisplay d(s);
    d.DcPipeDisplay();
    s.advanceBy(1000);
    QVERIFY(!d.isVisible(StatusDisplay::ImageDC1));
    s.advanceBy(600);
    d.DcPipeDisplay(); // a repeated on-battery tick shows both phases but keeps the timer's phase
    s.advanceBy(399);
    QVERIFY(d.isVisible(StatusDisplay::ImageDC1));
    s.advanceBy(1);
    QVERIFY(!d.isVisible(StatusDisplay::ImageDC1));
}

void TestStatusDisplay::disconnectedShowsStillMainsPipe()
{
    VirtualScheduler s;
    StatusDisplay d(s);
    d.setMessage(QStringLiteral("UPS is on Battery"), StatusDisplay::Orange);
    d.DcPipeDisplay();
    d.setVisible(StatusDisplay::ImaAlarm, true);
    d.setShutdownEnabled(true);
    d.showDisconnected();
    QCOMPARE(d.message(), QStringLiteral("UPS Disconnect"));
    QCOMPARE(d.messageColor(), StatusDisplay::Orange);
    QVERIFY(d.isVisible(StatusDisplay::ImageAC1));
    for (auto e : {StatusDisplay::ImageAC2, StatusDisplay::ImageDC1, StatusDisplay::ImageDC2,
                   StatusDisplay::ImageBL1, StatusDisplay::ImageBL2})
        QVERIFY(!d.isVisible(e));
    QVERIFY(d.isVisible(StatusDisplay::ImaAlarm));
    QVERIFY(!d.shutdownEnabled());
    for (auto t : {StatusDisplay::Timer4, StatusDisplay::Timer5, StatusDisplay::Timer6})
        QVERIFY(!d.isRunning(t));
}

QTEST_GUILESS_MAIN(TestStatusDisplay)
#include "tst_statusdisplay.moc"
