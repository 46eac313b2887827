#include "platform/qt/QtScheduler.h"
#include "platform/sim/VirtualScheduler.h"

#include <QTest>

using namespace brevant;

class TestScheduler : public QObject
{
    Q_OBJECT

private slots:
    void periodicTimerFiresEveryInterval();
    void timersDueTogetherFireInArmingOrder();
    void stopCancelsPendingFirings();
    void startingARunningTimerKeepsItsPhase();
    void stopInsideTheCallbackEndsTheTimer();
    void delayFiresWhatFallsDueInside();
    void qtDelayKeepsTheEventLoopRunning();
};

void TestScheduler::periodicTimerFiresEveryInterval()
{
    VirtualScheduler s;
    QList<qint64> at;
    auto t = s.createTimer(2200, [&] { at.append(s.nowMs()); });
    s.advanceBy(1000);
    t->start();
    s.advanceBy(10000);
    QCOMPARE(at, (QList<qint64>{3200, 5400, 7600, 9800}));
    QCOMPARE(s.nowMs(), 11000);
}

void TestScheduler::timersDueTogetherFireInArmingOrder()
{
    VirtualScheduler s;
    QStringList order;
    auto slow = s.createTimer(200, [&] { order.append(QStringLiteral("slow")); });
    auto fast = s.createTimer(100, [&] { order.append(QStringLiteral("fast")); });
    slow->start();
    fast->start();
    s.advanceBy(200);
    // At 200 both are due: the slow one was armed (at 0) before the fast one re-armed (at 100).
    QCOMPARE(order, (QStringList{QStringLiteral("fast"), QStringLiteral("slow"), QStringLiteral("fast")}));
}

void TestScheduler::stopCancelsPendingFirings()
{
    VirtualScheduler s;
    int fired = 0;
    auto t = s.createTimer(100, [&] { ++fired; });
    t->start();
    s.advanceBy(250);
    t->stop();
    s.advanceBy(1000);
    QCOMPARE(fired, 2);
    QVERIFY(!t->isActive());
    QCOMPARE(s.nextDueMs(), -1);
}

void TestScheduler::startingARunningTimerKeepsItsPhase()
{
    VirtualScheduler s;
    QList<qint64> at;
    auto t = s.createTimer(1000, [&] { at.append(s.nowMs()); });
    t->start();
    s.advanceBy(700);
    t->start();
    s.advanceBy(1500);
    QCOMPARE(at, (QList<qint64>{1000, 2000}));
    // A stopped timer starts a new phase.
    t->stop();
    s.advanceBy(300);
    t->start();
    s.advanceBy(1000);
    QCOMPARE(at.last(), 3500);
}

void TestScheduler::stopInsideTheCallbackEndsTheTimer()
{
    VirtualScheduler s;
    int fired = 0;
    std::unique_ptr<Timer> t;
    t = s.createTimer(100, [&] {
        if (++fired == 3)
            t->stop();
    });
    t->start();
    s.advanceBy(1000);
    QCOMPARE(fired, 3);
}

void TestScheduler::delayFiresWhatFallsDueInside()
{
    VirtualScheduler s;
    QList<qint64> at;
    auto poll = s.createTimer(100, [&] { at.append(s.nowMs()); });
    auto waiter = s.createTimer(250, [&] {
        s.delay(10);
        at.append(-s.nowMs()); // marks the end of the wait
    });
    poll->start();
    waiter->start();
    s.advanceBy(300);
    QCOMPARE(at, (QList<qint64>{100, 200, -260, 300}));
    s.delay(0);
    s.delay(-5);
    QCOMPARE(s.nowMs(), 300);
}

void TestScheduler::qtDelayKeepsTheEventLoopRunning()
{
    QtScheduler s;
    int fired = 0;
    auto t = s.createTimer(5, [&] { ++fired; });
    t->start();
    const qint64 before = s.nowMs();
    s.delay(60);
    QVERIFY(s.nowMs() - before >= 60);
    QVERIFY(fired >= 2);
}

QTEST_GUILESS_MAIN(TestScheduler)
#include "tst_scheduler.moc"
