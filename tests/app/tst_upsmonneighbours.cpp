// Brevant on one UPS together with Network UPS Tools' own monitor, upsmon (Debian 12's nut-client
// 2.8.0), on a real upsd: a Brevant primary with an upsmon secondary, an upsmon primary with a
// Brevant secondary. upsmon runs as the machine's root in a mount namespace of its own; where it
// cannot, every test is skipped.
#include "SharedUps.h"

#include <QTemporaryDir>
#include <QTest>
#include <memory>

using testsupport::BrevantComputer;
using testsupport::Upsmon;

class TestUpsmonNeighbours : public QObject
{
    Q_OBJECT

    QString timeline() const { return m_work.filePath(QStringLiteral("timeline")); }
    std::unique_ptr<BrevantComputer> brevant(const QString& name, const BrevantComputer::Options& options)
    {
        auto computer =
            std::make_unique<BrevantComputer>(m_work.path(), name, *m_server, timeline(), options);
        return computer->start() ? std::move(computer) : nullptr;
    }
    std::unique_ptr<Upsmon> upsmon(const QByteArray& user, const QByteArray& role, int hostsync)
    {
        auto monitor =
            std::make_unique<Upsmon>(m_work.filePath(QStringLiteral("upsmon-") + QString::fromLatin1(role)),
                                     *m_server, user, role, timeline(), hostsync);
        return monitor->start() ? std::move(monitor) : nullptr;
    }

    QTemporaryDir m_work;
    std::unique_ptr<testsupport::NutServer> m_server;

private slots:
    void initTestCase()
    {
        const QString reason = Upsmon::unavailableReason();
        if (!reason.isEmpty())
            QSKIP(qPrintable(reason));
    }

    void init()
    {
        QFile::remove(timeline());
        m_server = std::make_unique<testsupport::NutServer>(m_work.filePath(QStringLiteral("nut")));
        QVERIFY2(m_server->start(), "the NUT server did not start");
    }

    void cleanup() { m_server.reset(); }

    // Battery low. upsmon, a secondary whose own wait for its primary is longer than the test, shuts
    // down on the forced shutdown Brevant sets, before Brevant's UPS-off reaches upsd. upsmon as the
    // primary sets it; Brevant, a secondary with a five-minute delay, shuts down at once, and upsmon
    // follows as soon as Brevant has gone, long before its own wait for it would end.
    void lowBatteryShutdownOrder_data()
    {
        QTest::addColumn<bool>("brevantPrimary");
        QTest::addColumn<QByteArray>("brevantDelay");
        QTest::addColumn<QStringList>("timeline");
        QTest::addColumn<QByteArray>("upsmonSays"); // in upsmon's output when it is the secondary only
        // clang-format off
        QTest::newRow("upsmon secondary down before the UPS off") << true  << QByteArray("0.05") << QStringList{"upsmon-secondary 0", "primary 1"} << QByteArray("forced shutdown in progress");
        QTest::newRow("upsmon primary brings Brevant down")       << false << QByteArray("5")    << QStringList{"secondary 0", "upsmon-primary 0"} << QByteArray("Host sync timer expired");
        // clang-format on
    }

    void lowBatteryShutdownOrder()
    {
        QFETCH(bool, brevantPrimary);
        QFETCH(QByteArray, brevantDelay);
        const QByteArray role = brevantPrimary ? "primary" : "secondary";
        const auto computer = brevant(QString::fromLatin1(role),
                                      {brevantPrimary ? "admin" : "secondary", role, brevantDelay, {}});
        const auto monitor =
            brevantPrimary ? upsmon("secondary", "secondary", 120) : upsmon("monitor", "primary", 120);
        QVERIFY(computer && monitor);
        QTRY_COMPARE_WITH_TIMEOUT(m_server->logins(), 2, 30000);
        QVERIFY(m_server->setUpsStatus("OB LB"));
        QTRY_VERIFY_WITH_TIMEOUT(brevantPrimary ? computer->hasShutDown() : monitor->hasShutDown(), 40000);
        QTEST(testsupport::readTimeline(timeline()), "timeline");
        QFETCH(QByteArray, upsmonSays);
        QVERIFY2(monitor->output().contains(upsmonSays) == brevantPrimary, monitor->output().constData());
    }
};

QTEST_GUILESS_MAIN(TestUpsmonNeighbours)
#include "tst_upsmonneighbours.moc"
