#include "platform/qt/QtScheduler.h"
#include "platform/sim/VirtualScheduler.h"

#include <QTest>

using namespace brevant;

class TestScheduler : public QObject
{
    Q_OBJECT

private slots:
    void periodicTimerKeepsItsPhase();
    void timersDueTogetherFireInArmingOrder();
    void stopCancelsPendingFirings();
    void delayFiresWhatFallsDueInside();
    void qtDelayKeepsTheEventLoopRunning();
};

// A periodic timer fires every interval after its start; starting it again while it runs leaves
// its phase alone, and a stopped one starts a new phase.
void TestScheduler::periodicTimerKeepsItsPhase()
{
    VirtualScheduler s;
    QList<qint64> at;
    auto t = s.createTimer(1000, [&] { at.append(s.nowMs()); });
    s.advanceBy(500);
    t->start();
    s.advanceBy(1200);
    t->start();
    s.advanceBy(1000);
    QCOMPARE(at, (QList<qint64>{1500, 2500}));
    t->stop();
    s.advanceBy(300);
    t->start();
    s.advanceBy(1000);
    QCOMPARE(at.last(), 4000);
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

// From outside and from inside its own callback.
void TestScheduler::stopCancelsPendingFirings()
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
    t->start();
    s.advanceBy(150);
    t->stop();
    s.advanceBy(1000);
    QCOMPARE(fired, 4);
    QVERIFY(!t->isActive());
    QCOMPARE(s.nextDueMs(), -1);
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
