#include "monitor/StatusDisplay.h"
#include "platform/sim/VirtualScheduler.h"

#include <QTest>

using namespace brevant;

class TestStatusDisplay : public QObject
{
    Q_OBJECT

private slots:
    void mainsFlowRunsTwoCyclesPerPeriod();
    void blinkingPhaseSurvivesRepeatedDisplay();
    void pausedAnimationResumesInPhase_data();
    void pausedAnimationResumesInPhase();
};

namespace {

enum class Block
{
    OnLine,
    OnBattery,
    LowBattery,
    Disconnected
};

// The display operations of one poll tick, in the power monitor's order.
void runBlock(StatusDisplay& d, Block block)
{
    switch (block) {
    case Block::OnLine:
        d.AcPipeDisplay(false, false);
        d.DcPipeDisable();
        d.LowPipeDisable();
        break;
    case Block::OnBattery:
        d.DcPipeDisplay();
        d.LowPipeDisable();
        d.AcPipeDisable();
        break;
    case Block::LowBattery:
        d.LowPipeDisplay();
        d.DcPipeDisable();
        d.AcPipeDisable();
        break;
    case Block::Disconnected:
        d.showDisconnected();
        break;
    }
}

QString snapshot(const StatusDisplay& d)
{
    QString text;
    for (int e = StatusDisplay::Image1; e <= StatusDisplay::ImageBL2; ++e)
        text += d.isVisible(StatusDisplay::Element(e)) ? u'1' : u'0';
    for (auto t :
         {StatusDisplay::Timer4, StatusDisplay::Timer5, StatusDisplay::Timer6, StatusDisplay::Timer7})
        text += d.isRunning(t) ? u'R' : u'-';
    return text +
           QStringLiteral(" frame %1/%2/%3").arg(d.flowPicture()).arg(d.flowFrame()).arg(d.flowCycles());
}

} // namespace

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

void TestStatusDisplay::pausedAnimationResumesInPhase_data()
{
    QTest::addColumn<QList<qint64>>("pauses"); // pause at, resume at, ...
    QTest::newRow("a blink of the window") << QList<qint64>{3050, 3150};
    QTest::newRow("hidden across a flow cycle") << QList<qint64>{2300, 7900};
    QTest::newRow("resumed on a poll tick") << QList<qint64>{4000, 8800};
    QTest::newRow("hidden through outage and return") << QList<qint64>{9000, 31000, 33100, 33300};
}

// A page hidden and shown again reads as if its timers had run all along: compared, every
// 50 ms while shown, with a display whose timers never stopped, through every power state.
void TestStatusDisplay::pausedAnimationResumesInPhase()
{
    QFETCH(QList<qint64>, pauses);
    const QList<Block> ticks = {Block::OnLine,     Block::OnLine,     Block::OnLine,       Block::OnBattery,
                                Block::OnBattery,  Block::LowBattery, Block::LowBattery,   Block::OnLine,
                                Block::OnLine,     Block::OnLine,     Block::Disconnected, Block::OnLine,
                                Block::OnLine,     Block::OnBattery,  Block::OnLine,       Block::OnLine,
                                Block::LowBattery, Block::OnLine,     Block::OnLine,       Block::OnLine,
                                Block::OnLine,     Block::OnLine,     Block::OnLine,       Block::OnLine};
    VirtualScheduler s;
    int tick = 0;
    StatusDisplay* displays[2] = {};
    // Created first, as the poll timer is: at a common moment it runs before the pictures.
    auto poll = s.createTimer(2200, [&] {
        for (StatusDisplay* d : displays)
            runBlock(*d, ticks.value(tick, Block::OnLine));
        ++tick;
    });
    StatusDisplay seen(s);
    StatusDisplay hidden(s);
    displays[0] = &seen;
    displays[1] = &hidden;
    poll->start();
    for (StatusDisplay* d : displays)
        d->AcPipeDisplay(false, false);

    for (qint64 now = 0; now <= 55000; now += 50) {
        s.advanceTo(now);
        for (qsizetype i = 0; i < pauses.size(); ++i) {
            const qint64 at = pauses[i];
            if (at > now - 50 && at <= now) {
                s.advanceTo(at);
                if (i % 2 == 0)
                    hidden.pauseAnimation();
                else
                    hidden.resumeAnimation();
            }
        }
        if (!hidden.isAnimationPaused())
            QCOMPARE(snapshot(hidden), snapshot(seen));
    }
}

QTEST_GUILESS_MAIN(TestStatusDisplay)
#include "tst_statusdisplay.moc"
