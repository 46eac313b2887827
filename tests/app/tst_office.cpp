// An office on one UPS: real Brevant programs (offscreen, each in its own application and runtime
// directories, its power-off a recorder that ends it) on a real upsd, up to one primary and twenty
// secondary computers. Twenty-one programs start in a few seconds and cost little CPU while they
// wait, so no cheaper stand-in is needed for the secondaries.
#include "SharedUps.h"

#include <QTcpSocket>
#include <QTest>
#include <list>

using testsupport::BrevantComputer;

class TestOffice : public QObject
{
    Q_OBJECT

    static constexpr int Secondaries = 20;
    // A secondary needs up to a poll and a worker turn (3.2 s) to read the forced shutdown, then
    // its alarm window's four seconds; twelve leave room for 21 programs on two busy cores.
    static constexpr int HostsyncSeconds = 12;

private slots:
    // Battery low: the primary's shutdown sets the forced shutdown; every secondary shuts down
    // before the UPS-off, which one computer that never logs out delays by nut_hostsync and no
    // longer.
    void everySecondaryIsDownBeforeTheUpsOff()
    {
        testsupport::NutServer server;
        QVERIFY2(server.start(), "the NUT server did not start");
        std::list<BrevantComputer> secondaries;
        for (int i = 1; i <= Secondaries; ++i)
            secondaries.emplace_back(server, QStringLiteral("s%1").arg(i),
                                     BrevantComputer::Options{"secondary", "secondary", "60", {}});
        BrevantComputer primary(server, QStringLiteral("primary"),
                                {"admin", "primary", "0.05", QByteArray::number(HostsyncSeconds)});
        const auto stuck = server.logIn("secondary");
        QVERIFY2(stuck, "upsd refused the login that never goes away");
        QTRY_COMPARE_WITH_TIMEOUT(server.logins(), Secondaries + 2, 30000);

        QVERIFY(server.setUpsStatus("OB LB"));
        QTRY_VERIFY_WITH_TIMEOUT(primary.hasShutDown(), 50000);

        QCOMPARE(server.upsOffCommands(), 1);
        QCOMPARE(primary.shutdownRecord(), QByteArray("primary 1"));
        for (const auto& secondary : secondaries)
            QCOMPARE(secondary.shutdownRecord(), secondary.name().toUtf8() + " 0");
        // upsd's own clock, from the forced shutdown to the UPS-off.
        const double fsdSet = server.loggedAt("set FSD on UPS [dummy]");
        const double upsOff = server.loggedAt("did load.off on dummy");
        QVERIFY(fsdSet >= 0 && upsOff >= 0);
        qInfo("UPS-off %.2f s after the forced shutdown", upsOff - fsdSet);
        QCOMPARE_GE(upsOff - fsdSet, HostsyncSeconds - 0.1);
        QCOMPARE_LE(upsOff - fsdSet, HostsyncSeconds + 2.5);
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
    // the primary sends it once they have gone. A server of its own: the forced shutdown stays set.
    void forcedShutdownBringsEveryMonitorDown()
    {
        QFETCH(bool, setAtUpsd);
        testsupport::NutServer server;
        QVERIFY2(server.start(), "the NUT server did not start");
        BrevantComputer primary(server, QStringLiteral("primary"), {"admin", "primary", "60", {}});
        BrevantComputer secondary(server, QStringLiteral("secondary"), {"secondary", "secondary", "60", {}});
        BrevantComputer byRole(server, QStringLiteral("by-role"), {"admin", "secondary", "60", {}});
        // The splash, the start, the first poll: all logged in.
        QTRY_COMPARE_WITH_TIMEOUT(server.logins(), 3, 30000);
        if (setAtUpsd)
            QVERIFY(server.setForcedShutdown());
        else
            QVERIFY(server.setUpsStatus("OL FSD"));
        QTRY_VERIFY_WITH_TIMEOUT(primary.hasShutDown(), 40000);
        QCOMPARE(secondary.shutdownRecord(), QByteArray("secondary 0"));
        QCOMPARE(byRole.shutdownRecord(), QByteArray("by-role 0"));
        QCOMPARE(primary.shutdownRecord(), QByteArray("primary 1"));
        QCOMPARE(server.upsOffCommands(), 1);
    }
};

QTEST_GUILESS_MAIN(TestOffice)
#include "tst_office.moc"
