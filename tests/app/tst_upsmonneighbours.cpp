// Brevant on one UPS together with Network UPS Tools' own monitor, upsmon (Debian 12's nut-client
// 2.8.0), on a real upsd: a Brevant primary with an upsmon secondary, an upsmon primary with a
// Brevant secondary. upsmon runs as the machine's root in a mount namespace of its own; where it
// cannot, every test is skipped.
#include "SharedUps.h"

#include <QTest>

using testsupport::BrevantComputer;
using testsupport::Upsmon;

class TestUpsmonNeighbours : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        const QString reason = Upsmon::unavailableReason();
        if (!reason.isEmpty())
            QSKIP(qPrintable(reason));
    }

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
        testsupport::NutServer server;
        QVERIFY2(server.start(), "the NUT server did not start");
        const QByteArray role = brevantPrimary ? "primary" : "secondary";
        BrevantComputer computer(server, QString::fromLatin1(role),
                                 {brevantPrimary ? "admin" : "secondary", role, brevantDelay, {}});
        Upsmon monitor(server, brevantPrimary ? "secondary" : "monitor",
                       brevantPrimary ? "secondary" : "primary", 120);
        QTRY_COMPARE_WITH_TIMEOUT(server.logins(), 2, 30000);
        QVERIFY(server.setUpsStatus("OB LB"));
        QTRY_VERIFY_WITH_TIMEOUT(brevantPrimary ? computer.hasShutDown() : monitor.hasShutDown(), 40000);
        QTEST(server.timeline(), "timeline");
        QFETCH(QByteArray, upsmonSays);
        QVERIFY2(monitor.output().contains(upsmonSays) == brevantPrimary, monitor.output().constData());
    }
};

QTEST_GUILESS_MAIN(TestUpsmonNeighbours)
#include "tst_upsmonneighbours.moc"
