// libHalvic against a real NUT server: dummy-ups and upsd started by the nut_server fixture.
#include "HalvicClient.h"
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
    void followsPowerEvents();
    void switchOff_data();
    void switchOff();

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

    QString m_dir;
    QDateTime m_devFileTime = QDateTime::currentDateTime();
    std::unique_ptr<HalvicClient> m_halvic;
};

void TestHalvicNut::setUpsStatus(const QByteArray& status)
{
    const QString devFile = m_dir + QStringLiteral("/etc/dummy.dev");
    QSaveFile file(devFile);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("ups.status: " + status + "\nbattery.charge: 50\n");
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
    qputenv("HALVIC_BACKEND", "nut");
    qputenv("HALVIC_NUT_UPS", "dummy@127.0.0.1:" + port);
    m_halvic = std::make_unique<HalvicClient>();
    QVERIFY2(m_halvic->isLoaded(), qPrintable(m_halvic->errorString()));
}

void TestHalvicNut::followsPowerEvents()
{
    m_halvic->open();
    const QList<std::tuple<QByteArray, bool, bool>> steps{
        {"OL", true, false}, {"OB DISCHRG", false, false}, {"OB LB", false, true}, {"OL CHRG", true, false}};
    for (const auto& [status, onMains, batteryLow] : steps) {
        setUpsStatus(status);
        QTRY_VERIFY2_WITH_TIMEOUT(poll().is(onMains, batteryLow), status.constData(), 10000);
    }
    setUpsStatus("OFF");
    QTRY_VERIFY_WITH_TIMEOUT(!poll().answered(), 10000);
    setUpsStatus("OL");
    QTRY_VERIFY_WITH_TIMEOUT(poll().is(true, false), 10000);
}

void TestHalvicNut::switchOff_data()
{
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("upsd's user") << QByteArray("secret") << true;
    QTest::newRow("wrong password") << QByteArray("wrong") << false;
}

// The call answers at once; the library's worker goes on sending the command to upsd.
void TestHalvicNut::switchOff()
{
    QFETCH(QByteArray, password);
    QFETCH(bool, accepted);
    qputenv("HALVIC_NUT_USER", "admin");
    qputenv("HALVIC_NUT_PASSWORD", password);
    qputenv("HALVIC_NUT_OFFCMD", "load.off");
    m_halvic->open();
    QTRY_VERIFY(m_halvic->exchange(HALVIC_COMMAND_STATUS).answered());
    const int before = commandsDone();
    const QByteArray code = accepted ? QByteArray(HALVIC_REPLY_ACCEPTED) : HalvicClient::silence();
    QCOMPARE(m_halvic->switchOffUntil(code), code);
    if (accepted)
        QTRY_VERIFY(commandsDone() > before);
    else
        QCOMPARE(commandsDone(), before);
}

QTEST_GUILESS_MAIN(TestHalvicNut)
#include "tst_halvicnut.moc"
