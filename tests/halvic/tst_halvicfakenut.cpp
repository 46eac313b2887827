// libHalvic's NUT backend against fake servers: the UPS-off commands it chooses, and servers that
// are slow, silent or hostile never hold the caller nor fill its memory.
#include "FakeNutServer.h"
#include "HalvicClient.h"
#include "ScopedEnvironment.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <algorithm>
#include <memory>
#include <vector>

using fakenut::Behaviour;
using fakenut::FakeNutServer;

namespace {

QStringList instantCommands(const FakeNutServer& server)
{
    QStringList sent;
    for (const std::string& line : server.requests()) {
        if (line.starts_with("INSTCMD ") || line.starts_with("SET VAR "))
            sent << QString::fromStdString(line);
    }
    return sent;
}

// The monitor's window thread calls the library; a call must come back at once. A call costs
// microseconds (bench_halvic), a UPS-off call waits up to 20 ms for the worker, and the first
// status query after an open waits up to 20 ms for the worker's first reading. The typical call
// must take a few milliseconds at most; the slowest is allowed room for a loaded machine, far
// below the seconds a hostile server could cost before.
constexpr qint64 TypicalCallBoundUs = 5000;
constexpr qint64 SlowestCallBoundMs = 250;

QByteArray address(const FakeNutServer& server)
{
    return "fake@127.0.0.1:" + QByteArray::number(server.port());
}

qint64 residentKilobytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

} // namespace

class TestHalvicFakeNut : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void switchesOffOnlyWithDelay_data();
    void switchesOffOnlyWithDelay();
    void hostileServerNeverHoldsTheCaller_data();
    void hostileServerNeverHoldsTheCaller();
    void serverHangingUpDoesNotKillTheProgram();

private:
    HalvicClient m_halvic;
};

void TestHalvicFakeNut::initTestCase()
{
    QVERIFY2(m_halvic.isLoaded(), qPrintable(m_halvic.errorString()));
    qputenv("HALVIC_BACKEND", "nut");
    qputenv("HALVIC_NUT_USER", "admin");
    qputenv("HALVIC_NUT_PASSWORD", "secret");
}

void TestHalvicFakeNut::switchesOffOnlyWithDelay_data()
{
    QTest::addColumn<QStringList>("offered");
    QTest::addColumn<QByteArray>("delay");
    QTest::addColumn<QStringList>("sent");
    const QString setDelay = QStringLiteral("SET VAR fake ups.delay.shutdown \"%1\"");
    QTest::newRow("returns when mains is back")
        << QStringList{"load.off", "load.off.delay", "shutdown.stayoff", "shutdown.return"} << QByteArray()
        << QStringList{setDelay.arg(60), "INSTCMD fake shutdown.return"};
    QTest::newRow("staying off before a delayed load off")
        << QStringList{"load.off.delay", "shutdown.stayoff"} << QByteArray()
        << QStringList{setDelay.arg(60), "INSTCMD fake shutdown.stayoff"};
    QTest::newRow("delayed load off, configured delay")
        << QStringList{"load.off", "load.off.delay"} << QByteArray("120")
        << QStringList{setDelay.arg(120), "INSTCMD fake load.off.delay"};
    QTest::newRow("delay out of range falls back to the default")
        << QStringList{"load.off.delay"} << QByteArray("2")
        << QStringList{setDelay.arg(60), "INSTCMD fake load.off.delay"};
    QTest::newRow("only an immediate off: nothing is sent")
        << QStringList{"load.off"} << QByteArray() << QStringList{};
}

void TestHalvicFakeNut::switchesOffOnlyWithDelay()
{
    QFETCH(QStringList, offered);
    QFETCH(QByteArray, delay);
    QFETCH(QStringList, sent);
    fakenut::FakeUps ups;
    for (const QString& command : offered)
        ups.commands.push_back(command.toStdString());
    const FakeNutServer server(Behaviour::Serve, ups);
    QVERIFY(server.isListening());
    const ScopedEnvironment target("HALVIC_NUT_UPS", address(server));
    const ScopedEnvironment offDelay("HALVIC_NUT_OFF_DELAY", delay);
    m_halvic.open();
    QTRY_VERIFY(m_halvic.exchange(HALVIC_COMMAND_STATUS).answered());

    QTRY_COMPARE(m_halvic.exchange(HALVIC_COMMAND_UPS_OFF).code,
                 sent.isEmpty() ? HalvicClient::silence() : QByteArray(HALVIC_REPLY_ACCEPTED));
    QTRY_COMPARE(instantCommands(server).mid(0, 2), sent);
    m_halvic.close();
}

void TestHalvicFakeNut::hostileServerNeverHoldsTheCaller_data()
{
    QTest::addColumn<int>("behaviour");
    QTest::addColumn<int>("requests");
    QTest::newRow("silent") << int(Behaviour::Silent) << 2;
    QTest::newRow("one byte every 0.9 s") << int(Behaviour::Drip) << 2;
    QTest::newRow("endless list") << int(Behaviour::EndlessList) << 3;
    QTest::newRow("garbage without line ends") << int(Behaviour::Garbage) << 3;
    QTest::newRow("hangs up in mid-reply") << int(Behaviour::HangUp) << 3;
    QTest::newRow("nothing listens") << -1 << 0;
}

// The library keeps polling the server on its own thread while the test calls it the way the
// monitor does, until the server has seen the requests of several polls.
void TestHalvicFakeNut::hostileServerNeverHoldsTheCaller()
{
    QFETCH(int, behaviour);
    QFETCH(int, requests);
    auto server = std::make_unique<FakeNutServer>(behaviour < 0 ? Behaviour::Serve : Behaviour(behaviour));
    const ScopedEnvironment ups("HALVIC_NUT_UPS", address(*server));
    if (behaviour < 0)
        server.reset();
    const auto seen = [&] { return server ? int(server->requests().size()) : 0; };
    const qint64 memoryBefore = residentKilobytes();
    m_halvic.open();

    std::vector<qint64> statusCallsUs;
    qint64 slowest = 0;
    int calls = 0;
    QElapsedTimer running;
    running.start();
    while ((seen() < requests || calls < 20) && running.elapsed() < 20000) {
        for (const int command : {HALVIC_COMMAND_STATUS, HALVIC_COMMAND_UPS_OFF}) {
            QElapsedTimer call;
            call.start();
            const auto reply = m_halvic.exchange(command);
            slowest = std::max(slowest, call.elapsed());
            if (command == HALVIC_COMMAND_STATUS)
                statusCallsUs.push_back(call.nsecsElapsed() / 1000);
            QCOMPARE(reply.code, HalvicClient::silence());
            QVERIFY(reply.buffersIntact);
        }
        ++calls;
        QTest::qWait(20);
    }
    m_halvic.close();
    QVERIFY2(seen() >= requests, "the server did not see the worker's polls");
    std::ranges::sort(statusCallsUs);
    const qint64 typical = statusCallsUs.at(statusCallsUs.size() / 2);
    QVERIFY2(typical < TypicalCallBoundUs,
             qPrintable(QStringLiteral("median status call %1 us").arg(typical)));
    QVERIFY2(slowest < SlowestCallBoundMs, qPrintable(QStringLiteral("slowest call %1 ms").arg(slowest)));
    const qint64 growth = residentKilobytes() - memoryBefore;
    QVERIFY2(growth < 4096,
             qPrintable(QStringLiteral("resident memory grew by %1 kB while the server sent %2 kB")
                            .arg(growth)
                            .arg(server ? server->bytesSent() / 1024 : 0)));
}

// The library writes to a socket whose peer is gone; SIGPIPE must not end the program.
void TestHalvicFakeNut::serverHangingUpDoesNotKillTheProgram()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    const ScopedEnvironment ups("HALVIC_NUT_UPS",
                                "fake@127.0.0.1:" + QByteArray::number(server.serverPort()));
    m_halvic.open();
    QVERIFY(server.waitForNewConnection(5000));
    server.nextPendingConnection()->abort();
    for (int i = 0; i < 3; ++i)
        QCOMPARE(m_halvic.exchange(HALVIC_COMMAND_STATUS).code, HalvicClient::silence());
    m_halvic.close();
}

QTEST_GUILESS_MAIN(TestHalvicFakeNut)
#include "tst_halvicfakenut.moc"
