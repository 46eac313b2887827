// libHalvic against a real NUT server: dummy-ups and upsd started by the nut_server fixture.
#include "HalvicClient.h"
#include "ScopedEnvironment.h"
#include "TestFiles.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QSaveFile>
#include <QTcpServer>
#include <QTest>
#include <memory>

namespace {

constexpr int StatusQuery = HalvicClient::StatusQuery;
constexpr int SwitchOff = HalvicClient::SwitchOff;

// The network waits happen on the library's own thread; room for a busy machine.
const qint64 BoundMs = 250;

} // namespace

class TestHalvicNut : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void followsPowerEvents();
    void firstUpsOfTheServerByDefault();
    void unusableStatusIsNoAnswer_data();
    void unusableStatusIsNoAnswer();
    void unknownUpsIsNoAnswer();
    void deadServerIsNoAnswerWithinBound_data();
    void deadServerIsNoAnswerWithinBound();
    void serverHangingUpDoesNotKillTheProgram();
    void switchOff_data();
    void switchOff();

private:
    QByteArray target() const { return "dummy@127.0.0.1:" + m_port; }
    void setUpsStatus(const QByteArray& status);
    // Polls the way the monitor does: reopen while the UPS does not answer.
    HalvicClient::Reply poll() const;
    int instantCommandsLogged() const;

    QString m_dir;
    QByteArray m_port;
    QDateTime m_devFileTime = QDateTime::currentDateTime();
    std::unique_ptr<HalvicClient> m_halvic;
};

void TestHalvicNut::setUpsStatus(const QByteArray& status)
{
    const QString devFile = m_dir + QStringLiteral("/etc/dummy.dev");
    QSaveFile file(devFile);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("ups.status: " + status + "\nbattery.charge: 50\nups.mfr: Brevant tests\n");
    QVERIFY(file.commit());
    // The driver notices a change by the time stamp, to the second: make every one distinct.
    m_devFileTime = m_devFileTime.addSecs(2);
    QFile touched(devFile);
    QVERIFY(touched.open(QIODevice::ReadWrite));
    QVERIFY(touched.setFileTime(m_devFileTime, QFileDevice::FileModificationTime));
}

HalvicClient::Reply TestHalvicNut::poll() const
{
    auto reply = m_halvic->exchange(StatusQuery);
    if (!reply.answered()) {
        m_halvic->close();
        m_halvic->open();
    }
    return reply;
}

int TestHalvicNut::instantCommandsLogged() const
{
    return int(testsupport::readFile(m_dir + QStringLiteral("/upsd.log")).count("did load.off on dummy"));
}

void TestHalvicNut::initTestCase()
{
    m_dir = qEnvironmentVariable("BREVANT_NUT_FIXTURE_DIR");
    m_port = testsupport::readFile(m_dir + QStringLiteral("/port")).trimmed();
    QVERIFY2(!m_port.isEmpty(), "the nut_server fixture did not leave its port");
    m_halvic = std::make_unique<HalvicClient>();
    QVERIFY2(m_halvic->isLoaded(), qPrintable(m_halvic->errorString()));
    qputenv("HALVIC_BACKEND", "nut");
    qputenv("HALVIC_NUT_UPS", target());
}

void TestHalvicNut::init()
{
    setUpsStatus("OL");
    m_halvic->open();
    QTRY_VERIFY_WITH_TIMEOUT(poll().answered() && poll().onMains(), 10000);
}

void TestHalvicNut::followsPowerEvents()
{
    struct Step
    {
        QByteArray status;
        bool onMains;
        bool batteryLow;
    };
    for (const Step& step :
         {Step{"OB DISCHRG", false, false}, Step{"OB LB", false, true}, Step{"OL CHRG", true, false}}) {
        setUpsStatus(step.status);
        QTRY_VERIFY2_WITH_TIMEOUT(
            [&] {
                const auto reply = poll();
                return reply.answered() && reply.onMains() == step.onMains &&
                       reply.batteryLow() == step.batteryLow;
            }(),
            step.status.constData(), 10000);
    }
}

void TestHalvicNut::firstUpsOfTheServerByDefault()
{
    const ScopedEnvironment anyUps("HALVIC_NUT_UPS", "@127.0.0.1:" + m_port);
    m_halvic->open();
    const auto reply = m_halvic->exchange(StatusQuery);
    QVERIFY(reply.buffersIntact);
    QVERIFY(reply.answered());
    QVERIFY(reply.onMains());
}

void TestHalvicNut::unusableStatusIsNoAnswer_data()
{
    QTest::addColumn<QByteArray>("status");
    QTest::newRow("neither OL nor OB") << QByteArray("OFF");
    QTest::newRow("OL and OB at once") << QByteArray("OL OB");
}

void TestHalvicNut::unusableStatusIsNoAnswer()
{
    QFETCH(QByteArray, status);
    setUpsStatus(status);
    QTRY_VERIFY_WITH_TIMEOUT(!poll().answered(), 10000);
    const auto reply = m_halvic->exchange(StatusQuery);
    QCOMPARE(reply.code, QByteArray(HALVIC_REPLY_CODE_SIZE, '\0'));
    QVERIFY(reply.buffersIntact);
}

void TestHalvicNut::unknownUpsIsNoAnswer()
{
    const ScopedEnvironment otherUps("HALVIC_NUT_UPS", "nosuch@127.0.0.1:" + m_port);
    m_halvic->open();
    QCOMPARE(m_halvic->exchange(StatusQuery).code, QByteArray(HALVIC_REPLY_CODE_SIZE, '\0'));
}

void TestHalvicNut::deadServerIsNoAnswerWithinBound_data()
{
    QTest::addColumn<bool>("listening");
    QTest::addColumn<QByteArray>("ups");
    QTest::newRow("nothing listens") << false << QByteArray("dummy");
    QTest::newRow("server never answers") << true << QByteArray("dummy");
    QTest::newRow("server never lists its UPSes") << true << QByteArray();
}

// A server that accepts connections (the kernel does it for a hung upsd) but never answers.
void TestHalvicNut::deadServerIsNoAnswerWithinBound()
{
    QFETCH(bool, listening);
    QFETCH(QByteArray, ups);
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    const QByteArray port = QByteArray::number(server.serverPort());
    if (!listening)
        server.close();
    const ScopedEnvironment deadUps("HALVIC_NUT_UPS", ups + "@127.0.0.1:" + port);

    QElapsedTimer clock;
    clock.start();
    m_halvic->open();
    const auto reply = m_halvic->exchange(StatusQuery);
    QVERIFY2(clock.elapsed() < BoundMs, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(reply.code, QByteArray(HALVIC_REPLY_CODE_SIZE, '\0'));

    clock.restart();
    QCOMPARE(m_halvic->exchange(SwitchOff).code, QByteArray(HALVIC_REPLY_CODE_SIZE, '\0'));
    QVERIFY2(clock.elapsed() < BoundMs, qPrintable(QString::number(clock.elapsed())));
}

// The library writes to a socket whose peer is gone; SIGPIPE must not end the program.
void TestHalvicNut::serverHangingUpDoesNotKillTheProgram()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    const ScopedEnvironment vanishingUps("HALVIC_NUT_UPS",
                                         "dummy@127.0.0.1:" + QByteArray::number(server.serverPort()));
    m_halvic->open();
    QVERIFY(server.waitForNewConnection(5000));
    server.nextPendingConnection()->abort();

    for (int i = 0; i < 3; ++i)
        QCOMPARE(m_halvic->exchange(StatusQuery).code, QByteArray(HALVIC_REPLY_CODE_SIZE, '\0'));
    m_halvic->close();
}

void TestHalvicNut::switchOff_data()
{
    QTest::addColumn<QByteArray>("user");
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<bool>("accepted");
    const QByteArray immediate("load.off");
    QTest::newRow("right credentials, only an immediate off offered: nothing sent")
        << QByteArray("admin") << QByteArray("secret") << QByteArray() << false;
    QTest::newRow("named command") << QByteArray("admin") << QByteArray("secret") << immediate << true;
    QTest::newRow("wrong password") << QByteArray("admin") << QByteArray("wrong") << immediate << false;
    QTest::newRow("unknown user") << QByteArray("mallory") << QByteArray("secret") << immediate << false;
    QTest::newRow("no credentials") << QByteArray() << QByteArray() << immediate << false;
    QTest::newRow("command the UPS lacks")
        << QByteArray("admin") << QByteArray("secret") << QByteArray("shutdown.return") << false;
}

// The monitor sends the UPS-off command three times, 10 ms apart. A call answers within a few
// milliseconds, with "accepted" only when upsd took the command by then; the worker goes on
// sending it after the call has returned.
void TestHalvicNut::switchOff()
{
    QFETCH(QByteArray, user);
    QFETCH(QByteArray, password);
    QFETCH(QByteArray, command);
    QFETCH(bool, accepted);
    const ScopedEnvironment userName("HALVIC_NUT_USER", user);
    const ScopedEnvironment secret("HALVIC_NUT_PASSWORD", password);
    const ScopedEnvironment offCommand("HALVIC_NUT_OFFCMD", command);
    m_halvic->open();
    QTRY_VERIFY(m_halvic->exchange(StatusQuery).answered());
    const int loggedBefore = instantCommandsLogged();

    for (int i = 0; i < 3; ++i) {
        const auto reply = m_halvic->exchange(SwitchOff);
        QVERIFY(reply.buffersIntact);
        if (!accepted || reply.code != HALVIC_REPLY_ACCEPTED)
            QCOMPARE(reply.code, QByteArray(HALVIC_REPLY_CODE_SIZE, '\0'));
        QTest::qWait(10);
    }

    if (accepted) {
        QTRY_VERIFY(instantCommandsLogged() > loggedBefore);
        QTRY_COMPARE(m_halvic->exchange(SwitchOff).code, QByteArray(HALVIC_REPLY_ACCEPTED));
    } else {
        QTRY_COMPARE(m_halvic->exchange(SwitchOff).code, QByteArray(HALVIC_REPLY_CODE_SIZE, '\0'));
        QCOMPARE(instantCommandsLogged(), loggedBefore);
    }
    QVERIFY(m_halvic->exchange(StatusQuery).answered());
}

QTEST_GUILESS_MAIN(TestHalvicNut)
#include "tst_halvicnut.moc"
