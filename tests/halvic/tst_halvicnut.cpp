// libHalvic against a real NUT server: dummy-ups and upsd started by the nut_server fixture.
#include "HalvicClient.h"
#include "ScopedEnvironment.h"
#include "TestFiles.h"

#include <QDateTime>
#include <QFile>
#include <QSaveFile>
#include <QTest>
#include <memory>

class TestHalvicNut : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void followsPowerEvents();
    void whichUps_data();
    void whichUps();
    void switchOff_data();
    void switchOff();

private:
    void setUpsStatus(const QByteArray& status);
    int instantCommandsLogged() const
    {
        return int(testsupport::readFile(m_dir + QStringLiteral("/upsd.log")).count("did load.off on dummy"));
    }

    QString m_dir;
    QByteArray m_server;
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

void TestHalvicNut::initTestCase()
{
    m_dir = qEnvironmentVariable("BREVANT_NUT_FIXTURE_DIR");
    const QByteArray port = testsupport::readFile(m_dir + QStringLiteral("/port")).trimmed();
    QVERIFY2(!port.isEmpty(), "the nut_server fixture did not leave its port");
    m_server = "@127.0.0.1:" + port;
    m_halvic = std::make_unique<HalvicClient>();
    QVERIFY2(m_halvic->isLoaded(), qPrintable(m_halvic->errorString()));
    qputenv("HALVIC_BACKEND", "nut");
    qputenv("HALVIC_NUT_UPS", "dummy" + m_server);
}

void TestHalvicNut::init()
{
    setUpsStatus("OL");
    m_halvic->open();
    QTRY_VERIFY_WITH_TIMEOUT(m_halvic->poll().is(true, false), 10000);
}

void TestHalvicNut::followsPowerEvents()
{
    struct Step
    {
        QByteArray status;
        bool onMains;
        bool batteryLow;
    };
    for (const Step& step : {Step{"OB DISCHRG", false, false}, Step{"OB LB", false, true},
                             Step{"OL CHRG", true, false}, Step{"OFF", false, false}}) {
        setUpsStatus(step.status);
        const bool answers = step.status != "OFF";
        QTRY_VERIFY2_WITH_TIMEOUT(answers ? m_halvic->poll().is(step.onMains, step.batteryLow)
                                          : !m_halvic->poll().answered(),
                                  step.status.constData(), 10000);
    }
    const auto reply = m_halvic->exchange(HALVIC_COMMAND_STATUS);
    QCOMPARE(reply.code, HalvicClient::silence());
    QVERIFY(reply.buffersIntact);
}

void TestHalvicNut::whichUps_data()
{
    QTest::addColumn<QByteArray>("ups");
    QTest::addColumn<bool>("answers");
    QTest::newRow("first UPS of the server") << QByteArray() << true;
    QTest::newRow("a UPS the server lacks") << QByteArray("nosuch") << false;
}

void TestHalvicNut::whichUps()
{
    QFETCH(QByteArray, ups);
    QFETCH(bool, answers);
    const ScopedEnvironment target("HALVIC_NUT_UPS", ups + m_server);
    m_halvic->open();
    const auto reply = m_halvic->exchange(HALVIC_COMMAND_STATUS);
    QVERIFY(reply.buffersIntact);
    QCOMPARE(reply.answered(), answers);
    QCOMPARE(reply.code, answers ? QByteArray(HALVIC_REPLY_STATUS) : HalvicClient::silence());
}

void TestHalvicNut::switchOff_data()
{
    QTest::addColumn<QByteArray>("user");
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<bool>("accepted");
    const QByteArray immediate("load.off");
    QTest::newRow("named command") << QByteArray("admin") << QByteArray("secret") << immediate << true;
    QTest::newRow("wrong password") << QByteArray("admin") << QByteArray("wrong") << immediate << false;
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
    QTRY_VERIFY(m_halvic->exchange(HALVIC_COMMAND_STATUS).answered());
    const int loggedBefore = instantCommandsLogged();

    for (int i = 0; i < 3; ++i) {
        const auto reply = m_halvic->exchange(HALVIC_COMMAND_UPS_OFF);
        QVERIFY(reply.buffersIntact);
        if (!accepted || reply.code != HALVIC_REPLY_ACCEPTED)
            QCOMPARE(reply.code, HalvicClient::silence());
        QTest::qWait(10);
    }
    const QByteArray code = accepted ? QByteArray(HALVIC_REPLY_ACCEPTED) : HalvicClient::silence();
    QTRY_COMPARE(m_halvic->exchange(HALVIC_COMMAND_UPS_OFF).code, code);
    if (accepted)
        QTRY_VERIFY(instantCommandsLogged() > loggedBefore);
    else
        QCOMPARE(instantCommandsLogged(), loggedBefore);
    QVERIFY(m_halvic->exchange(HALVIC_COMMAND_STATUS).answered());
}

QTEST_GUILESS_MAIN(TestHalvicNut)
#include "tst_halvicnut.moc"
