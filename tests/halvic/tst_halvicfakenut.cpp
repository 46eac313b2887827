// libHalvic's NUT backend against fake servers: the UPS-off commands it sends, and servers that
// are slow, silent or hostile never hold the caller nor fill its memory.
#include "FakeNutServer.h"
#include "HalvicClient.h"
#include "TestFiles.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <arpa/inet.h>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using fakenut::Behaviour;
using fakenut::FakeNutServer;

namespace {

QStringList requestsMatching(const FakeNutServer& server, const QString& pattern)
{
    QStringList lines;
    for (const std::string& line : server.requests())
        lines << QString::fromStdString(line);
    return lines.filter(QRegularExpression(pattern));
}

qsizetype statusRequests(const FakeNutServer& server)
{
    return requestsMatching(server, QStringLiteral("^GET VAR fake ups.status$")).size();
}

qsizetype logins(const FakeNutServer& server)
{
    return requestsMatching(server, QStringLiteral("^LOGIN fake$")).size();
}

// The monitor's window thread calls the library; a call must come back at once. A UPS-off call
// waits up to 20 ms for the worker, and the first status query after an open up to 20 ms for the
// worker's first reading; the bound leaves room for a loaded machine, far below the seconds a
// hostile server could cost before.
constexpr qint64 SlowestCallMs = 1000;

void target(quint16 port)
{
    qputenv("HALVIC_NUT_UPS", "fake@127.0.0.1:" + QByteArray::number(port));
}

qint64 residentKilobytes()
{
    const QByteArray status = testsupport::readFile(QStringLiteral("/proc/self/status"));
    return status.mid(status.indexOf("VmRSS:") + 6).trimmed().split(' ').value(0).toLongLong();
}

// A server that never answers, until the process ends (the kernel accepts its connections).
quint16 portListeningUntilExit()
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 4) != 0 || ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

} // namespace

class TestHalvicFakeNut : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void switchOffSetsTheDelayFirst_data();
    void switchOffSetsTheDelayFirst();
    void hostileServerNeverHoldsTheCaller_data();
    void hostileServerNeverHoldsTheCaller();
    void serverHangingUpDoesNotKillTheProgram();
    void staleDataIsNoAnswer();
    void valuesComeWithTheStatus_data();
    void valuesComeWithTheStatus();
    void saysWhetherItCanSwitchOff_data();
    void saysWhetherItCanSwitchOff();
    void refusedConfigurationMeansNoUps_data();
    void refusedConfigurationMeansNoUps();
    void localServerOfAnotherUserIsNotBelieved();
    void eachQuerySeesAChangeMadeBeforeIt_data();
    void eachQuerySeesAChangeMadeBeforeIt();
    void slowServerNeverHoldsTheCaller_data();
    void slowServerNeverHoldsTheCaller();
    void restartedServerCostsNoAnswer();
    // Last: the library is unloaded.
    void unloadedWithACommandPending();

private:
    // Opens the library on the server and waits for its first answer.
    bool answersFrom(const FakeNutServer& server) const
    {
        target(server.port());
        m_halvic.open();
        return QTest::qWaitFor([this] { return m_halvic.exchange(HALVIC_COMMAND_STATUS).answered(); });
    }

    HalvicClient m_halvic;
};

void TestHalvicFakeNut::initTestCase()
{
    QVERIFY2(m_halvic.isLoaded(), qPrintable(m_halvic.errorString()));
    qputenv("HALVIC_BACKEND", "nut");
}

// Every test starts from a configuration that logs in, with the library's own timing.
void TestHalvicFakeNut::init()
{
    qputenv("HALVIC_NUT_USER", "admin");
    qputenv("HALVIC_NUT_PASSWORD", "secret");
    for (const char* name : {"HALVIC_NUT_OFF_DELAY", "HALVIC_NUT_OFFCMD", "HALVIC_NUT_ROLE", "HALVIC_CONF",
                             "HALVIC_WORKER_TIMING"})
        qunsetenv(name);
}

void TestHalvicFakeNut::switchOffSetsTheDelayFirst_data()
{
    QTest::addColumn<QByteArray>("delay");
    QTest::addColumn<int>("sent");
    QTest::newRow("configured delay") << QByteArray("120") << 120;
    QTest::newRow("delay out of range falls back to the default") << QByteArray("2") << 60;
}

// Never the immediate load.off the UPS also offers.
void TestHalvicFakeNut::switchOffSetsTheDelayFirst()
{
    QFETCH(QByteArray, delay);
    QFETCH(int, sent);
    const FakeNutServer server(Behaviour::Serve, {.commands = {"load.off", "load.off.delay"}});
    qputenv("HALVIC_NUT_OFF_DELAY", delay);
    QVERIFY(answersFrom(server));
    QCOMPARE(m_halvic.switchOffUntil(HALVIC_REPLY_ACCEPTED), QByteArray(HALVIC_REPLY_ACCEPTED));
    QTRY_COMPARE(requestsMatching(server, QStringLiteral("^(INSTCMD|SET VAR) ")).mid(0, 2),
                 (QStringList{QStringLiteral("SET VAR fake ups.delay.shutdown \"%1\"").arg(sent),
                              QStringLiteral("INSTCMD fake load.off.delay")}));
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
    target(server->port());
    if (behaviour < 0)
        server.reset();
    const auto seen = [&] { return server ? int(server->requests().size()) : 0; };
    const qint64 memoryBefore = residentKilobytes();
    m_halvic.open();

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
            QCOMPARE(reply.code, HalvicClient::silence());
            QVERIFY(reply.buffersIntact);
        }
        ++calls;
        QTest::qWait(20);
    }
    m_halvic.close();
    QVERIFY2(seen() >= requests, "the server did not see the worker's polls");
    QVERIFY2(slowest < SlowestCallMs, qPrintable(QStringLiteral("slowest call %1 ms").arg(slowest)));
    const qint64 growth = residentKilobytes() - memoryBefore;
    QVERIFY2(growth < 4096, qPrintable(QStringLiteral("resident memory grew by %1 kB").arg(growth)));
}

// The library writes to a socket whose peer is gone; SIGPIPE must not end the program.
void TestHalvicFakeNut::serverHangingUpDoesNotKillTheProgram()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    target(server.serverPort());
    m_halvic.open();
    QVERIFY(server.waitForNewConnection(5000));
    server.nextPendingConnection()->abort();
    QCOMPARE(m_halvic.exchange(HALVIC_COMMAND_STATUS).code, HalvicClient::silence());
    QVERIFY(server.waitForNewConnection(5000)); // the worker went on and called again
    m_halvic.close();
}

// upsd says its driver stopped updating: the UPS is silent, however long the server answers.
void TestHalvicFakeNut::staleDataIsNoAnswer()
{
    fakenut::FakeUps staleUps;
    staleUps.stale = true;
    const FakeNutServer server(Behaviour::Serve, staleUps);
    target(server.port());
    m_halvic.open();
    QTRY_VERIFY(statusRequests(server) >= 2);
    QCOMPARE(m_halvic.exchange(HALVIC_COMMAND_STATUS).code, HalvicClient::silence());
    m_halvic.close();
}

void TestHalvicFakeNut::valuesComeWithTheStatus_data()
{
    using Variables = std::vector<std::pair<std::string, std::string>>;
    QTest::addColumn<Variables>("variables");
    QTest::addColumn<QByteArray>("values");
    // clang-format off
    QTest::newRow("NUT 2.8: device.* before ups.*")
        << Variables{{"battery.charge", "87"}, {"battery.runtime", "1380"}, {"ups.load", "23"},
                     {"input.voltage", "230.5"}, {"device.model", "Ellipse PRO 650"}, {"ups.model", "older"},
                     {"ups.mfr", "EATON"}, {"ups.serial", "G355B12345"}, {"ups.temperature", "30"}}
        << QByteArray("battery.charge 87\nbattery.runtime 1380\nups.load 23\ninput.voltage 230.5\n"
                      "device.mfr EATON\ndevice.model Ellipse PRO 650\ndevice.serial G355B12345\nhalvic.ups_off yes\n");
    QTest::newRow("a value with a control character is left out")
        << Variables{{"battery.charge", "50"}, {"device.model", "bad\tmodel"}}
        << QByteArray("battery.charge 50\nhalvic.ups_off yes\n");
    QTest::newRow("a UPS that knows nothing more") << Variables{} << QByteArray("halvic.ups_off yes\n");
    // clang-format on
}

// One round trip per poll asks for the status and the values; the values follow the status to
// the caller.
void TestHalvicFakeNut::valuesComeWithTheStatus()
{
    using Variables = std::vector<std::pair<std::string, std::string>>;
    QFETCH(Variables, variables);
    QFETCH(QByteArray, values);
    const FakeNutServer server(
        Behaviour::Serve, {.status = "OB DISCHRG", .commands = {"shutdown.return"}, .variables = variables});
    QVERIFY(answersFrom(server));
    QVERIFY(m_halvic.exchange(HALVIC_COMMAND_STATUS).is(false, false));
    QCOMPARE(m_halvic.values(), values);
    m_halvic.close();
    QCOMPARE(m_halvic.values(), QByteArray());
}

void TestHalvicFakeNut::saysWhetherItCanSwitchOff_data()
{
    QTest::addColumn<std::vector<std::string>>("commands"); // what LIST CMD answers
    QTest::addColumn<QByteArray>("offcmd");
    QTest::addColumn<QByteArray>("user");
    QTest::addColumn<QByteArray>("role");
    QTest::addColumn<QByteArray>("told"); // the UPS-off lines of HalvicValues
    const QByteArray noDelayedOff("halvic.ups_off no\nhalvic.ups_off.reason UPS 'fake' offers no delayed off "
                                  "command; nut_offcmd may name one\n");
    const QByteArray yes("halvic.ups_off yes\n");
    using Commands = std::vector<std::string>;
    // clang-format off
    QTest::newRow("a delayed off command")    << Commands{"load.off", "load.off.delay"} << QByteArray() << QByteArray("admin") << QByteArray() << yes;
    QTest::newRow("only the sudden load.off") << Commands{"load.off"} << QByteArray() << QByteArray("admin") << QByteArray() << noDelayedOff;
    QTest::newRow("no command at all")        << Commands{} << QByteArray() << QByteArray("admin") << QByteArray("primary") << noDelayedOff;
    QTest::newRow("nut_offcmd offered")       << Commands{"load.off"} << QByteArray("load.off") << QByteArray("admin") << QByteArray() << yes;
    QTest::newRow("nut_offcmd not offered")   << Commands{"shutdown.return"} << QByteArray("beeper.off") << QByteArray("admin") << QByteArray()
        << QByteArray("halvic.ups_off no\nhalvic.ups_off.reason UPS 'fake' does not offer nut_offcmd beeper.off\n");
    QTest::newRow("primary without nut_user") << Commands{"shutdown.return"} << QByteArray() << QByteArray() << QByteArray("primary")
        << QByteArray("halvic.ups_off no\nhalvic.ups_off.reason no nut_user and nut_password that upsd lets run the off command\n");
    QTest::newRow("secondary: its primary switches the UPS off") << Commands{} << QByteArray() << QByteArray("admin") << QByteArray("secondary")
        << QByteArray("halvic.ups_off secondary\n");
    // clang-format on
}

// Told with every status, from the role, the login and LIST CMD (asked once per connection):
// nothing is sent that would set or switch anything.
void TestHalvicFakeNut::saysWhetherItCanSwitchOff()
{
    QFETCH(std::vector<std::string>, commands);
    QFETCH(QByteArray, offcmd);
    QFETCH(QByteArray, user);
    QFETCH(QByteArray, role);
    const FakeNutServer server(Behaviour::Serve, {.commands = commands});
    qputenv("HALVIC_NUT_OFFCMD", offcmd);
    qputenv("HALVIC_NUT_USER", user);
    qputenv("HALVIC_NUT_ROLE", role);
    QVERIFY(answersFrom(server));
    QTEST(m_halvic.values(), "told");
    QTRY_VERIFY(statusRequests(server) >= 3);
    m_halvic.close();
    QVERIFY(requestsMatching(server, QStringLiteral("^LIST CMD fake$")).size() <= 1);
    QCOMPARE(requestsMatching(server, QStringLiteral("^(INSTCMD|SET VAR|FSD) ")), QStringList());
}

void TestHalvicFakeNut::refusedConfigurationMeansNoUps_data()
{
    QTest::addColumn<QByteArray>("padding");
    QTest::addColumn<bool>("othersRead");
    QTest::addColumn<bool>("exists");
    QTest::newRow("a password others can read") << QByteArray() << true << true;
    QTest::newRow("over 64 KB") << QByteArray(64 * 1024, '#') << false << true;
    QTest::newRow("HALVIC_CONF names no file") << QByteArray() << false << false;
}

// The configuration and the environment name a server that answers; a refused file leads to no
// server at all (before, its keys were dropped and the library asked the first UPS on
// localhost:3493).
void TestHalvicFakeNut::refusedConfigurationMeansNoUps()
{
    QFETCH(QByteArray, padding);
    QFETCH(bool, othersRead);
    QFETCH(bool, exists);
    const FakeNutServer server(Behaviour::Serve);
    QTemporaryDir dir;
    const QString conf = dir.filePath(QStringLiteral("Halvic.conf"));
    if (exists) {
        testsupport::writeFile(conf, padding + "\nbackend = nut\nnut_ups = fake@127.0.0.1:" +
                                         QByteArray::number(server.port()) + "\nnut_password = secret\n");
        QVERIFY(QFile::setPermissions(conf, QFile::ReadOwner | QFile::WriteOwner |
                                                (othersRead ? QFile::ReadOther : QFile::Permissions())));
    }
    target(server.port()); // the environment names the server too: still no UPS
    qunsetenv("HALVIC_NUT_PASSWORD");
    qputenv("HALVIC_CONF", QFile::encodeName(conf));
    // A worker would have its first reading within this wait.
    qputenv("HALVIC_WORKER_TIMING", "first_reading_wait=2000");
    m_halvic.open();
    QCOMPARE(m_halvic.exchange(HALVIC_COMMAND_STATUS).code, HalvicClient::silence());
    QCOMPARE(server.requests().size(), size_t(0));
    m_halvic.close();
}

// Another local user's server on an unprivileged port, named in the configuration: not believed,
// and it hears nothing, credentials least of all. The same server run by this user is believed
// (every other test here).
void TestHalvicFakeNut::localServerOfAnotherUserIsNotBelieved()
{
    if (::getuid() != 0)
        QSKIP("starting a server as another user needs root");
    QProcess server;
    server.start(QStringLiteral("setpriv"),
                 {QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                  QStringLiteral("--clear-groups"),
                  testsupport::binDir() + QStringLiteral("/fakenut-server")});
    QTRY_VERIFY(server.canReadLine());
    const quint16 port = server.readLine().trimmed().toUShort();
    QVERIFY(port != 0);
    target(port);
    qputenv("HALVIC_WORKER_TIMING", "first_reading_wait=2000");
    m_halvic.open();
    QCOMPARE(m_halvic.exchange(HALVIC_COMMAND_STATUS).code, HalvicClient::silence());
    QCOMPARE(m_halvic.exchange(HALVIC_COMMAND_UPS_OFF).code, HalvicClient::silence());
    m_halvic.close();
    server.closeWriteChannel();
    QVERIFY(server.waitForFinished(10000));
    QCOMPARE(server.readAllStandardOutput(), QByteArray());
}

void TestHalvicFakeNut::eachQuerySeesAChangeMadeBeforeIt_data()
{
    QTest::addColumn<QByteArray>("timing");
    QTest::addColumn<int>("answerDelay"); // ms
    QTest::addColumn<int>("lead");        // ms from the change to the query
    QTest::addColumn<int>("stale");       // queries allowed the reading before the change
    // Between queries nobody asks (a worker polling on its own would, every 50 ms here); the query
    // waits long enough for a loaded machine's answer, which would otherwise go to the worker.
    QTest::newRow("the query asks the server itself, once")
        << QByteArray("poll_interval=50,caller_wait=1000") << 0 << 0 << 0;
    // Slower than the query's bound (a distant or busy server): the worker asks again just before
    // each query, not only leaves it the answer to the question the query before it left behind.
    // The first query finds the server slow, the second the rhythm learnt.
    QTest::newRow("slow server: the worker asks just before")
        << QByteArray("poll_lead=300") << 100 << 450 << 3;
}

// The monitor's rhythm, shortened: a status change, then a query.
void TestHalvicFakeNut::eachQuerySeesAChangeMadeBeforeIt()
{
    QFETCH(int, answerDelay);
    QFETCH(int, lead);
    QFETCH(int, stale);
    FakeNutServer server(Behaviour::Serve);
    QFETCH(QByteArray, timing);
    qputenv("HALVIC_WORKER_TIMING", timing);
    QVERIFY(answersFrom(server));
    // Until a query asked the server itself, the worker may still poll on its own.
    server.setStatus("OB");
    QTRY_VERIFY(m_halvic.exchange(HALVIC_COMMAND_STATUS).is(false, false));
    server.setAnswerDelay(std::chrono::milliseconds(answerDelay));
    const qsizetype before = statusRequests(server);
    constexpr int Queries = 8;
    int fresh = 0;
    for (int query = 0; query < Queries; ++query) {
        QTest::qWait(150);
        const bool mains = query % 2 == 0;
        server.setStatus(mains ? "OL" : "OB");
        QTest::qWait(lead);
        fresh += m_halvic.exchange(HALVIC_COMMAND_STATUS).is(mains, false) ? 1 : 0;
    }
    QVERIFY2(fresh >= Queries - stale, qPrintable(QStringLiteral("%1 fresh of %2").arg(fresh).arg(Queries)));
    if (stale == 0) {
        QCOMPARE(statusRequests(server) - before, Queries);
        QCOMPARE(logins(server), 1);
    }
    m_halvic.close();
}

void TestHalvicFakeNut::slowServerNeverHoldsTheCaller_data()
{
    QTest::addColumn<bool>("answersLate");
    QTest::newRow("answers after 1.5 s") << true;
    QTest::newRow("stops answering") << false;
}

// A status query leaves an answer that is late to the worker and answers from the reading before
// it. A late answer (within the server's 2 s) is the next reading, on the same connection; a
// missing one makes the UPS silent.
void TestHalvicFakeNut::slowServerNeverHoldsTheCaller()
{
    QFETCH(bool, answersLate);
    FakeNutServer server(Behaviour::Serve);
    QVERIFY(answersFrom(server));
    server.setStatus("OB");
    if (answersLate)
        server.setAnswerDelay(std::chrono::milliseconds(1500));
    else
        server.setBehaviour(Behaviour::Silent);
    qint64 slowest = 0;
    const auto query = [&] {
        QElapsedTimer call;
        call.start();
        const auto reply = m_halvic.exchange(HALVIC_COMMAND_STATUS);
        slowest = std::max(slowest, call.elapsed());
        return reply;
    };
    QVERIFY(query().is(true, false));
    if (answersLate) {
        QTRY_VERIFY(query().is(false, false));
        QCOMPARE(logins(server), 1);
    } else {
        QTRY_VERIFY(!query().answered());
    }
    m_halvic.close();
    QVERIFY2(slowest < SlowestCallMs, qPrintable(QStringLiteral("slowest call %1 ms").arg(slowest)));
}

// A server that restarted (it closed its connections) costs the status queries no answer: the one
// that finds the connection closed waits for the worker's new one, up to first_reading_wait, which
// logs in again.
void TestHalvicFakeNut::restartedServerCostsNoAnswer()
{
    FakeNutServer server(Behaviour::Serve);
    qputenv("HALVIC_WORKER_TIMING", "first_reading_wait=2000");
    QVERIFY(answersFrom(server));
    QTRY_COMPARE(logins(server), 1);
    server.dropConnections();
    int unanswered = 0;
    const auto reconnected = [&] {
        unanswered += m_halvic.exchange(HALVIC_COMMAND_STATUS).answered() ? 0 : 1;
        return logins(server) == 2;
    };
    QTRY_VERIFY(reconnected());
    QCOMPARE(unanswered, 0);
    m_halvic.close();
}

// The program exits while the worker waits for a silent server with a UPS-off command pending: the
// device, a static, logs the lost command as it ends at the process's exit (under the sanitizers
// that log was a use after free when its storage had ended first).
void TestHalvicFakeNut::unloadedWithACommandPending()
{
    const quint16 port = portListeningUntilExit();
    QVERIFY(port != 0);
    target(port);
    qputenv("HALVIC_WORKER_TIMING", "command_deadline=300");
    m_halvic.open();
    QCOMPARE(m_halvic.exchange(HALVIC_COMMAND_UPS_OFF).code, HalvicClient::silence());
    m_halvic.close();
    QVERIFY(m_halvic.unload());
}

QTEST_GUILESS_MAIN(TestHalvicFakeNut)
#include "tst_halvicfakenut.moc"
