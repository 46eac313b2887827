// libHalvic's NUT backend against fake servers: the UPS-off commands it chooses.
#include "FakeNutServer.h"
#include "HalvicClient.h"
#include "ScopedEnvironment.h"

#include <QTest>
#include <algorithm>

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

} // namespace

class TestHalvicFakeNut : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void switchesOffOnlyWithDelay_data();
    void switchesOffOnlyWithDelay();

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
    QTest::newRow("stays off") << QStringList{"load.off", "shutdown.stayoff"} << QByteArray()
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
    const ScopedEnvironment target("HALVIC_NUT_UPS", "fake@127.0.0.1:" + QByteArray::number(server.port()));
    const ScopedEnvironment offDelay("HALVIC_NUT_OFF_DELAY", delay);
    m_halvic.open();
    QTRY_VERIFY(m_halvic.exchange(HALVIC_COMMAND_STATUS).answered());

    QTRY_COMPARE(m_halvic.exchange(HALVIC_COMMAND_UPS_OFF).code,
                 sent.isEmpty() ? QByteArray(HALVIC_REPLY_CODE_SIZE, '\0')
                                : QByteArray(HALVIC_REPLY_ACCEPTED));
    QTRY_COMPARE(instantCommands(server).mid(0, 2), sent);
    m_halvic.close();
}

QTEST_GUILESS_MAIN(TestHalvicFakeNut)
#include "tst_halvicfakenut.moc"
