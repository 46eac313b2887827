// libHalvic against a real NUT server: dummy-ups and upsd started by the nut_server fixture. Several
// computers on one UPS are several copies of the library in this process, each with its own worker
// and connection. The primary's forced shutdown stays set at upsd: those tests come last.
#include "HalvicClient.h"
#include "NutStatusPipe.h"
#include "TestFiles.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

class TestHalvicNut : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void followsPowerEvents();
    void statusPipeAsksUpsdJustBeforeEachPoll();
    void secondariesLogInAndNeverSwitchOff();
    void switchOff_data();
    void switchOff();
    void primaryWaitsForTheOthers_data();
    void primaryWaitsForTheOthers();

private:
    void setUpsStatus(const QByteArray& status);
    // A status query as the monitor's poll makes it: reopens while the UPS does not answer.
    HalvicClient::Reply poll() const
    {
        const HalvicClient::Reply reply = m_halvic->exchange(HALVIC_COMMAND_STATUS);
        if (!reply.answered()) {
            m_halvic->close();
            m_halvic->open();
        }
        return reply;
    }
    int commandsDone() const
    {
        return int(testsupport::readFile(m_dir + QStringLiteral("/upsd.log")).count("did load.off on dummy"));
    }
    // upsd's own answer to one request, on a connection of its own.
    QByteArray askUpsd(const QByteArray& request) const;
    int logins() const { return askUpsd("GET NUMLOGINS dummy").split(' ').value(2).toInt(); }
    // Another computer on the same UPS: a copy of the library, opened as `user` in `role`.
    std::unique_ptr<HalvicClient> computer(const QByteArray& user, const QByteArray& role);

    QString m_dir;
    QByteArray m_port;
    QTemporaryDir m_copies;
    int m_computers = 0;
    QDateTime m_devFileTime = QDateTime::currentDateTime();
    std::unique_ptr<HalvicClient> m_halvic;
};

void TestHalvicNut::setUpsStatus(const QByteArray& status)
{
    const QString devFile = m_dir + QStringLiteral("/etc/dummy.dev");
    QSaveFile file(devFile);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("ups.status: " + status + "\nbattery.charge: 50\nbattery.runtime: 600\n");
    QVERIFY(file.commit());
    // The driver notices a change by the time stamp, to the second: make every one distinct.
    m_devFileTime = m_devFileTime.addSecs(2);
    QFile touched(devFile);
    QVERIFY(touched.open(QIODevice::ReadWrite));
    QVERIFY(touched.setFileTime(m_devFileTime, QFileDevice::FileModificationTime));
}

QByteArray TestHalvicNut::askUpsd(const QByteArray& request) const
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), m_port.toUShort());
    if (!socket.waitForConnected(5000))
        return {};
    socket.write(request + '\n');
    while (!socket.canReadLine() && socket.waitForReadyRead(5000)) {
    }
    return socket.readLine().trimmed();
}

std::unique_ptr<HalvicClient> TestHalvicNut::computer(const QByteArray& user, const QByteArray& role)
{
    const QString copy = m_copies.filePath(QStringLiteral("computer%1/libHalvic.so").arg(++m_computers));
    QDir().mkpath(QFileInfo(copy).path());
    QFile::copy(testsupport::binDir() + QStringLiteral("/libHalvic.so"), copy);
    auto client = std::make_unique<HalvicClient>(copy);
    qputenv("HALVIC_NUT_USER", user);
    qputenv("HALVIC_NUT_ROLE", role);
    client->open();
    return client;
}

void TestHalvicNut::initTestCase()
{
    m_dir = qEnvironmentVariable("BREVANT_NUT_FIXTURE_DIR");
    m_port = testsupport::readFile(m_dir + QStringLiteral("/port")).trimmed();
    QVERIFY2(!m_port.isEmpty(), "the nut_server fixture did not leave its port");
    qputenv("HALVIC_BACKEND", "nut");
    qputenv("HALVIC_NUT_UPS", "dummy@127.0.0.1:" + m_port);
    qputenv("HALVIC_NUT_PASSWORD", "secret");
    qputenv("HALVIC_NUT_OFFCMD", "load.off");
    // A closed library lets go of upsd at the worker's next turn; a primary asks again every 0.2 s.
    qputenv("HALVIC_WORKER_TIMING", "release_after_close=0,command_retry=200,command_wait=1000");
    m_halvic = std::make_unique<HalvicClient>();
    QVERIFY2(m_halvic->isLoaded(), qPrintable(m_halvic->errorString()));
}

void TestHalvicNut::followsPowerEvents()
{
    m_halvic->open();
    const int noNews = 2;
    const QList<std::tuple<QByteArray, int, int, int>> steps{
        {"OL", 1, 0, 0},      {"OB DISCHRG", 0, 0, 0}, {"OB LB", 0, 1, 0},
        {"OL CHRG", 1, 0, 0}, {"OB LB FSD", 0, 1, 1},  {"FSD", noNews, noNews, 1}};
    for (const auto& [status, mains, low, forced] : steps) {
        setUpsStatus(status);
        QTRY_VERIFY2_WITH_TIMEOUT(
            [&] {
                const auto reply = poll();
                return reply.answered() && reply.status.at(HALVIC_MAINS_BYTE - 1) == mains &&
                       reply.status.at(HALVIC_LOW_BATTERY_BYTE - 1) == low &&
                       reply.forcedShutdown() == forced;
            }(),
            status.constData(), 10000);
    }
    setUpsStatus("OFF");
    QTRY_VERIFY_WITH_TIMEOUT(!poll().answered(), 10000);
    setUpsStatus("OL");
    QTRY_VERIFY_WITH_TIMEOUT(poll().is(true, false), 10000);
    // The values of the same poll: what the dummy file says now, and what the driver adds.
    // Without nut_user this computer is a secondary.
    QCOMPARE(m_halvic->values(),
             QByteArray("battery.charge 50\nbattery.runtime 600\ndevice.mfr Brevant tests\n"
                        "device.model Dummy UPS\nhalvic.ups_off secondary\n"));
    m_halvic->close();
}

// upsd takes the pipe's padded requests (and the padded VER that times the first one) like any
// other, and each poll finds the answers to the request that left just before it: what upsd knew
// then, not a poll earlier.
void TestHalvicNut::statusPipeAsksUpsdJustBeforeEachPoll()
{
    using namespace std::chrono_literals;
    const halvic::Interrupt interrupt;
    const auto pipe = halvic::NutStatusPipe::open(
        {.ups = "dummy", .host = "127.0.0.1", .port = m_port.toUShort(), .hostNamed = true},
        {"GET VAR dummy ups.status", "GET VAR dummy battery.charge"}, interrupt);
    QVERIFY(pipe);
    constexpr auto Rhythm = 2200ms;
    constexpr auto Lead = 60ms;
    auto poll = halvic::Clock::now();
    for (int k = 0; k < 5; ++k) {
        QTest::qWait(int(std::chrono::ceil<std::chrono::milliseconds>(poll - halvic::Clock::now()).count()));
        // Half a poll: a test thread late under load still takes the answer, and one a poll old
        // would tell the status before.
        const auto answers = pipe->take(Rhythm / 2);
        // The first poll sends nothing (the connection was just used), the second sets the time.
        if (k >= 2) {
            QVERIFY2(answers, qPrintable(QStringLiteral("poll %1").arg(k)));
            QCOMPARE(QByteArray::fromStdString(answers->front()),
                     QByteArray("VAR dummy ups.status \"") + ((k - 1) % 2 ? "OL" : "OB") + '"');
        }
        setUpsStatus((k % 2) ? "OL" : "OB");
        pipe->prefetch(poll + Rhythm - Lead, Rhythm);
        poll += Rhythm;
    }
    QVERIFY(!pipe->isBroken());
    setUpsStatus("OL");
}

// One computer a secondary because upsd grants its user nothing more, the other by its nut_role
// although its user has the primary right: upsd counts both, neither switches the UPS off nor sets
// the forced shutdown, and closing logs them out.
void TestHalvicNut::secondariesLogInAndNeverSwitchOff()
{
    QTRY_COMPARE_WITH_TIMEOUT(logins(), 0, 10000);
    const auto first = computer("secondary", "");
    const auto second = computer("admin", "secondary");
    QTRY_COMPARE_WITH_TIMEOUT(logins(), 2, 10000);
    const int before = commandsDone();
    for (const auto* secondary : {first.get(), second.get()})
        QCOMPARE(secondary->switchOffUntil(HALVIC_REPLY_NOT_MINE), QByteArray(HALVIC_REPLY_NOT_MINE));
    QCOMPARE(commandsDone(), before);
    QVERIFY(!askUpsd("GET VAR dummy ups.status").contains("FSD"));
    first->close();
    second->close();
    QTRY_COMPARE_WITH_TIMEOUT(logins(), 0, 10000);
}

void TestHalvicNut::switchOff_data()
{
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<QByteArray>("role");
    QTest::addColumn<QByteArray>("code");
    QTest::addColumn<QByteArray>("told"); // beforehand, with the status
    QTest::newRow("primary by nut_role, wrong password")
        << QByteArray("wrong") << QByteArray("primary") << HalvicClient::silence()
        << QByteArray(
               "halvic.ups_off no\nhalvic.ups_off.reason upsd did not let nut_user 'admin' log in to UPS "
               "'dummy' (a wrong password, or no \"upsmon primary\" in upsd.users)\n");
    QTest::newRow("primary by its right on this machine's upsd")
        << QByteArray("secret") << QByteArray() << QByteArray(HALVIC_REPLY_ACCEPTED)
        << QByteArray("halvic.ups_off yes\n");
}

// Alone on the UPS, the primary sets the forced shutdown and switches the UPS off at once; the
// status before says whether it could.
void TestHalvicNut::switchOff()
{
    QFETCH(QByteArray, password);
    QFETCH(QByteArray, role);
    QFETCH(QByteArray, code);
    qputenv("HALVIC_NUT_USER", "admin");
    qputenv("HALVIC_NUT_PASSWORD", password);
    qputenv("HALVIC_NUT_ROLE", role);
    m_halvic->open();
    QTRY_VERIFY(m_halvic->exchange(HALVIC_COMMAND_STATUS).answered());
    QFETCH(QByteArray, told);
    QVERIFY2(m_halvic->values().endsWith(told), m_halvic->values().constData());
    const int before = commandsDone();
    QCOMPARE(m_halvic->switchOffUntil(code), code);
    const bool accepted = code == HALVIC_REPLY_ACCEPTED;
    QTRY_COMPARE(commandsDone(), before + (accepted ? 1 : 0));
    QCOMPARE(askUpsd("GET VAR dummy ups.status").contains("FSD"), accepted);
    m_halvic->close();
    QTRY_COMPARE_WITH_TIMEOUT(logins(), 0, 10000);
    qputenv("HALVIC_NUT_PASSWORD", "secret");
}

void TestHalvicNut::primaryWaitsForTheOthers_data()
{
    QTest::addColumn<QByteArray>("hostsync");
    QTest::addColumn<bool>("secondaryLeaves");
    QTest::newRow("until the secondary has logged out") << QByteArray("60") << true;
    QTest::newRow("at most nut_hostsync") << QByteArray("2") << false;
}

// The primary's UPS-off is under way while another computer is logged in, and that computer reads
// the forced shutdown; the UPS-off goes to upsd once it logged out, or when nut_hostsync is over.
void TestHalvicNut::primaryWaitsForTheOthers()
{
    QFETCH(QByteArray, hostsync);
    QFETCH(bool, secondaryLeaves);
    qputenv("HALVIC_NUT_HOSTSYNC", hostsync);
    QTRY_COMPARE_WITH_TIMEOUT(logins(), 0, 10000);
    const auto secondary = computer("secondary", "");
    QTRY_COMPARE_WITH_TIMEOUT(logins(), 1, 10000);
    const auto primary = computer("admin", "primary");
    QTRY_COMPARE_WITH_TIMEOUT(logins(), 2, 10000);
    const int before = commandsDone();
    QElapsedTimer waiting;
    waiting.start();
    QCOMPARE(primary->switchOffUntil(HALVIC_REPLY_UNDER_WAY), QByteArray(HALVIC_REPLY_UNDER_WAY));
    QTRY_COMPARE(secondary->exchange(HALVIC_COMMAND_STATUS).forcedShutdown(), 1);
    QCOMPARE(primary->exchange(HALVIC_COMMAND_UPS_OFF).code, QByteArray(HALVIC_REPLY_UNDER_WAY));
    QCOMPARE(commandsDone(), before);
    if (secondaryLeaves)
        secondary->close();
    QCOMPARE(primary->switchOffUntil(HALVIC_REPLY_ACCEPTED), QByteArray(HALVIC_REPLY_ACCEPTED));
    QTRY_COMPARE(commandsDone(), before + 1);
    if (!secondaryLeaves)
        QVERIFY2(waiting.elapsed() >= hostsync.toInt() * 1000, "the primary did not wait nut_hostsync");
    primary->close();
    secondary->close();
    QTRY_COMPARE_WITH_TIMEOUT(logins(), 0, 10000);
}

QTEST_GUILESS_MAIN(TestHalvicNut)
#include "tst_halvicnut.moc"
