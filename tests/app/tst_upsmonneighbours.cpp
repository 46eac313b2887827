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

    // Battery low: upsmon, a secondary whose own wait for its primary is longer than the test,
    // shuts down on the forced shutdown Brevant sets, and its shutdown command has run before
    // Brevant's UPS-off reaches upsd.
    void upsmonSecondaryIsDownBeforeTheUpsOff()
    {
        const auto primary = brevant(QStringLiteral("primary"), {"admin", "primary", "0.05", {}});
        const auto secondary = upsmon("secondary", "secondary", 120);
        QVERIFY(primary && secondary);
        QTRY_COMPARE_WITH_TIMEOUT(m_server->logins(), 2, 30000);
        QVERIFY(m_server->setUpsStatus("OB LB"));
        QTRY_VERIFY_WITH_TIMEOUT(primary->hasShutDown(), 40000);
        QCOMPARE(testsupport::readTimeline(timeline()),
                 (QStringList{QStringLiteral("upsmon-secondary 0"), QStringLiteral("primary 1")}));
        QVERIFY2(secondary->output().contains("forced shutdown in progress"),
                 secondary->output().constData());
    }

    // Battery low: upsmon as the primary sets the forced shutdown; Brevant, a secondary whose own
    // delay is five minutes, shuts down at once, and upsmon's shutdown command follows as soon as
    // Brevant has gone, long before upsmon's own wait for it would end.
    void upsmonPrimaryBringsBrevantDown()
    {
        const auto secondary = brevant(QStringLiteral("secondary"), {"secondary", "secondary", "5", {}});
        const auto primary = upsmon("monitor", "primary", 120);
        QVERIFY(primary && secondary);
        QTRY_COMPARE_WITH_TIMEOUT(m_server->logins(), 2, 30000);
        QVERIFY(m_server->setUpsStatus("OB LB"));
        QTRY_VERIFY_WITH_TIMEOUT(primary->hasShutDown(), 40000);
        QCOMPARE(testsupport::readTimeline(timeline()),
                 (QStringList{QStringLiteral("secondary 0"), QStringLiteral("upsmon-primary 0")}));
        QVERIFY2(!primary->output().contains("Host sync timer expired"), primary->output().constData());
    }
};

QTEST_GUILESS_MAIN(TestUpsmonNeighbours)
#include "tst_upsmonneighbours.moc"
