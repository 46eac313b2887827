// One UPS, several computers: real Brevant monitors on a real upsd (dummy-ups on loopback), each
// in its own application and runtime directories, every power-off a recorder that ends its
// monitor as a power-off would. Every test has a NUT server of its own, as a forced shutdown
// stays set at upsd.
#include "SharedUps.h"

#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <vector>

using testsupport::BrevantComputer;

class TestSharedUps : public QObject
{
    Q_OBJECT

    // Null when the program did not start.
    const BrevantComputer* start(const QString& name, const BrevantComputer::Options& options)
    {
        auto& computer = m_computers.emplace_back(
            std::make_unique<BrevantComputer>(m_work.path(), name, *m_server, timeline(), options));
        return computer->start() ? computer.get() : nullptr;
    }
    QString timeline() const { return m_work.filePath(QStringLiteral("timeline")); }

    QTemporaryDir m_work;
    std::unique_ptr<testsupport::NutServer> m_server;
    std::vector<std::unique_ptr<BrevantComputer>> m_computers;

private slots:
    void init()
    {
        QVERIFY(m_work.isValid());
        QFile::remove(timeline());
        m_server = std::make_unique<testsupport::NutServer>(m_work.filePath(QStringLiteral("nut")));
        QVERIFY2(m_server->start(), "the NUT server did not start");
    }

    void forcedShutdownBringsEveryMonitorDown_data()
    {
        QTest::addColumn<bool>("setAtUpsd");
        QTest::newRow("the driver reports it") << false;
        QTest::newRow("a primary sets it at upsd") << true;
    }

    // A forced shutdown with the mains on (what NUT's primary monitor sets when it decides the UPS
    // is critical, or an administrator with upsmon -c fsd): every monitor shuts down whatever its
    // own delay; the secondaries, one of them by its nut_role alone, never send the UPS-off, and
    // the primary sends it once they have gone.
    void forcedShutdownBringsEveryMonitorDown()
    {
        QFETCH(bool, setAtUpsd);
        const BrevantComputer* primary = start(QStringLiteral("primary"), {"admin", "primary", "60", {}});
        const BrevantComputer* secondary =
            start(QStringLiteral("secondary"), {"secondary", "secondary", "60", {}});
        const BrevantComputer* byRole = start(QStringLiteral("by-role"), {"admin", "secondary", "60", {}});
        QVERIFY(primary && secondary && byRole);
        // The splash, the start, the first poll: all logged in.
        QTRY_COMPARE_WITH_TIMEOUT(m_server->logins(), 3, 30000);
        if (setAtUpsd)
            QVERIFY(m_server->setForcedShutdown());
        else
            QVERIFY(m_server->setUpsStatus("OL FSD"));
        QTRY_VERIFY_WITH_TIMEOUT(primary->hasShutDown(), 40000);
        QCOMPARE(secondary->shutdownRecord(), QByteArray("secondary 0"));
        QCOMPARE(byRole->shutdownRecord(), QByteArray("by-role 0"));
        QCOMPARE(primary->shutdownRecord(), QByteArray("primary 1"));
        QCOMPARE(m_server->upsOffCommands(), 1);
    }

    void cleanup()
    {
        m_computers.clear();
        m_server.reset();
    }
};

QTEST_GUILESS_MAIN(TestSharedUps)
#include "tst_sharedups.moc"
