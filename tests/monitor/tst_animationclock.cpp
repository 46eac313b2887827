// The picture timers that stop while nobody sees them and go on as if they had run.
#include "monitor/AnimationClock.h"
#include "platform/sim/VirtualScheduler.h"

#include <QTest>
#include <algorithm>

using namespace brevant;

class TestAnimationClock : public QObject
{
    Q_OBJECT

    // Two timers as the Status page has them: a slow one that starts a fast one, which stops
    // itself after three firings. Every firing is logged as "name@time", time as the clock's own.
    struct Animation
    {
        VirtualScheduler scheduler;
        AnimationClock clock{scheduler};
        QStringList log;
        int fastFirings = 0;
        int slow = clock.add(1000, [this] {
            log.append(QStringLiteral("slow@%1").arg(scheduler.nowMs()));
            clock.start(fast);
        });
        int fast = clock.add(200, [this] {
            log.append(QStringLiteral("fast@%1").arg(scheduler.nowMs()));
            if (++fastFirings % 3 == 0)
                clock.stop(fast);
        });
    };

private slots:
    void pausedAnimationReplaysInOrderAndResumesInPhase_data()
    {
        QTest::addColumn<qint64>("pauseAt");
        QTest::addColumn<qint64>("resumeAt");
        QTest::newRow("between firings") << qint64(300) << qint64(2500);
        QTest::newRow("on a firing") << qint64(1000) << qint64(3200);
        QTest::newRow("resumed where the fast timer is due") << qint64(1100) << qint64(2400);
    }

    void pausedAnimationReplaysInOrderAndResumesInPhase()
    {
        QFETCH(qint64, pauseAt);
        QFETCH(qint64, resumeAt);
        Animation reference;
        reference.clock.start(reference.slow);
        reference.scheduler.advanceTo(6000);

        Animation paused;
        paused.clock.start(paused.slow);
        paused.scheduler.advanceTo(pauseAt);
        paused.clock.pause();
        paused.scheduler.advanceTo(resumeAt);
        QVERIFY(paused.clock.isPaused());
        paused.clock.resume();
        // The resume ran every firing that fell due meanwhile (it logs the resume's time).
        const auto dueBy = [&](qint64 t) {
            return std::count_if(reference.log.begin(), reference.log.end(),
                                 [t](const QString& e) { return e.section(u'@', 1).toLongLong() <= t; });
        };
        QCOMPARE(paused.log.size(), dueBy(resumeAt));
        paused.scheduler.advanceTo(6000);
        QCOMPARE(paused.log.size(), reference.log.size());
        for (qsizetype i = 0; i < reference.log.size(); ++i) {
            const QString name = reference.log[i].section(u'@', 0, 0);
            QCOMPARE(paused.log[i].section(u'@', 0, 0), name);
            // After the resume, every firing comes when the reference's did.
            if (reference.log[i].section(u'@', 1).toLongLong() > resumeAt)
                QCOMPARE(paused.log[i], reference.log[i]);
        }
    }

    // An operation from outside at the moment a firing is due runs before it, as on the real
    // event loop, where the poll was armed first; the resume then runs what is due now.
    void catchUpBeforeNowLeavesTheFiringDueNow()
    {
        Animation a;
        a.clock.start(a.slow);
        a.clock.pause();
        a.scheduler.advanceTo(2000);
        a.clock.catchUp(AnimationClock::Due::BeforeNow);
        QCOMPARE(a.log.size(), 4); // slow at 1000, fast at 1200, 1400, 1600; not slow at 2000
        a.clock.catchUp(AnimationClock::Due::UpToNow);
        QCOMPARE(a.log.filter(u"slow").size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestAnimationClock)
#include "tst_animationclock.moc"
