#include "platform/qt/QtScheduler.h"

#include <QTest>

using namespace brevant;

class TestScheduler : public QObject
{
    Q_OBJECT

private slots:
    void qtDelayKeepsTheEventLoopRunning();
};

// The UPS-off command's waits must let timers (and the user) go on.
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
