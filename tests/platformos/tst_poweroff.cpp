#include "PrivateBus.h"
#include "TestFiles.h"
#include "platform/SystemPowerOffFactory.h"
#include "platform/linux/LogindPowerOff.h"
#include "platform/qt/CommandPowerOff.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <optional>

using namespace brevant;
using namespace std::chrono_literals;

namespace {

const QString logindService = QStringLiteral("org.freedesktop.login1");
// Owned on the private bus only; seeing it through a connection proves that connection is ours.
const QString privateBusMarker = QStringLiteral("org.brevant.PrivateTestBus");

// logind's Manager object as far as powering off goes: answers CanPowerOff and PowerOff as told
// and records every PowerOff.
class FakeLogind : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    enum class Answer
    {
        Accept,
        Refuse,
        Hold
    };
    Answer answer = Answer::Accept;
    QString canPowerOff = QStringLiteral("yes"); // empty: never answered
    QList<bool> powerOffCalls;

public slots:
    QString CanPowerOff()
    {
        if (canPowerOff.isEmpty())
            setDelayedReply(true);
        return canPowerOff;
    }
    void PowerOff(bool interactive)
    {
        powerOffCalls.append(interactive);
        if (answer == Answer::Refuse)
            sendErrorReply(QDBusError::AccessDenied, QStringLiteral("Interactive authentication required."));
        else if (answer == Answer::Hold)
            setDelayedReply(true); // and never answered
    }
};

// The answer of one asynchronous power-off call, once it has come.
struct Answered
{
    std::optional<Status> status;
    SystemPowerOff::Answer callback()
    {
        return [this](const Status& answer) { status = answer; };
    }
};

} // namespace

Q_DECLARE_METATYPE(FakeLogind::Answer)

class TestPowerOff : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void logind_data();
    void logind();
    void missingBusRefuses();
    void shutdownCommandRunsInsteadOfPowerOff_data();
    void shutdownCommandRunsInsteadOfPowerOff();
    void withoutCommandTheSystemBusLogindIsAsked();

private:
    QDBusConnection clientBus() const { return QDBusConnection(QStringLiteral("client")); }

    std::unique_ptr<PrivateBus> m_bus;
    FakeLogind m_logind;
    QTemporaryDir m_dir;
    QString m_marker;
};

void TestPowerOff::initTestCase()
{
    // Nothing below may reach the machine's real system bus: without a private bus, stop here.
    m_bus = std::make_unique<PrivateBus>();
    QVERIFY2(m_bus->start(), qPrintable(m_bus->error()));
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_bus->address().toLocal8Bit());
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_bus->address().toLocal8Bit());

    QDBusConnection service = QDBusConnection::connectToBus(m_bus->address(), QStringLiteral("fake-logind"));
    QVERIFY(service.isConnected());
    QVERIFY(service.registerObject(QStringLiteral("/org/freedesktop/login1"), &m_logind,
                                   QDBusConnection::ExportAllSlots));
    QVERIFY(service.registerService(privateBusMarker));
    QVERIFY(service.registerService(logindService));
    QVERIFY(QDBusConnection::connectToBus(m_bus->address(), QStringLiteral("client")).isConnected());

    QVERIFY(m_dir.isValid());
    m_marker = m_dir.filePath(QStringLiteral("ran"));
    qputenv("BREVANT_TEST_MARKER", QFile::encodeName(m_marker));
}

void TestPowerOff::init()
{
    m_logind.answer = FakeLogind::Answer::Accept;
    m_logind.canPowerOff = QStringLiteral("yes");
    m_logind.powerOffCalls.clear();
    QFile::remove(m_marker);
    qunsetenv("BREVANT_SHUTDOWN_COMMAND");
}

void TestPowerOff::cleanupTestCase()
{
    QDBusConnection::disconnectFromBus(QStringLiteral("client"));
    QDBusConnection::disconnectFromBus(QStringLiteral("fake-logind"));
    m_bus.reset();
}

// Every call to logind is asynchronous: the caller never waits for it.
void TestPowerOff::logind_data()
{
    QTest::addColumn<bool>("shutDown"); // false: only asks whether the power-off is allowed
    QTest::addColumn<QString>("canPowerOff");
    QTest::addColumn<FakeLogind::Answer>("answer");
    QTest::addColumn<QString>("refusal"); // empty: allowed
    const auto accept = FakeLogind::Answer::Accept;
    QTest::newRow("allowed") << false << "yes" << accept << "";
    QTest::newRow("challenge") << false << "challenge" << accept << "\"challenge\"";
    QTest::newRow("permission not answered") << false << "" << accept << "NoReply";
    QTest::newRow("accepted") << true << "yes" << accept << "";
    QTest::newRow("refused") << true << "yes" << FakeLogind::Answer::Refuse
                             << "org.freedesktop.DBus.Error.AccessDenied";
    QTest::newRow("never answered") << true << "yes" << FakeLogind::Answer::Hold
                                    << "org.freedesktop.DBus.Error.NoReply";
}

void TestPowerOff::logind()
{
    QFETCH(bool, shutDown);
    QFETCH(QString, refusal);
    QFETCH(QString, canPowerOff);
    QFETCH(FakeLogind::Answer, answer);
    m_logind.canPowerOff = canPowerOff;
    m_logind.answer = answer;
    LogindPowerOff powerOff(clientBus(), 500ms);
    Answered answered;
    QElapsedTimer elapsed;
    elapsed.start();
    shutDown ? powerOff.shutDownSystem(answered.callback()) : powerOff.checkAllowed(answered.callback());
    QVERIFY(elapsed.elapsed() < 200);
    QTRY_VERIFY(answered.status);
    QCOMPARE(answered.status->ok(), refusal.isEmpty());
    QVERIFY2(answered.status->error().contains(refusal), qPrintable(answered.status->error()));
    QCOMPARE(m_logind.powerOffCalls, shutDown ? QList<bool>{false} : QList<bool>{}); // once, not interactive
}

void TestPowerOff::missingBusRefuses()
{
    // A machine without a system bus (a container): both calls fail, from the event loop.
    const QString name = QStringLiteral("no-bus");
    {
        LogindPowerOff powerOff(QDBusConnection::connectToBus(
            QStringLiteral("unix:path=") + m_dir.filePath(QStringLiteral("none")), name));
        Answered allowed;
        Answered request;
        powerOff.checkAllowed(allowed.callback());
        powerOff.shutDownSystem(request.callback());
        QVERIFY(!allowed.status);
        QTRY_VERIFY(allowed.status && request.status);
        QVERIFY(!allowed.status->ok() && !request.status->ok());
    }
    QDBusConnection::disconnectFromBus(name);
    QVERIFY(m_logind.powerOffCalls.isEmpty());
}

void TestPowerOff::shutdownCommandRunsInsteadOfPowerOff_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<bool>("runs");
    QTest::newRow("absolute path") << QByteArray(RECORDER_SCRIPT) << true;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("relative") << QByteArray("tests/platformos/recorder.sh") << false;
    QTest::newRow("missing") << QFile::encodeName(m_dir.filePath(QStringLiteral("no-such-program"))) << false;
}

// A set variable always wins: never power off from a test.
void TestPowerOff::shutdownCommandRunsInsteadOfPowerOff()
{
    QFETCH(QByteArray, command);
    QFETCH(bool, runs);
    qputenv("BREVANT_SHUTDOWN_COMMAND", command);
    const std::unique_ptr<SystemPowerOff> powerOff = createSystemPowerOff();
    QVERIFY(dynamic_cast<CommandPowerOff*>(powerOff.get()));
    Answered allowed;
    Answered request;
    powerOff->checkAllowed(allowed.callback());
    powerOff->shutDownSystem(request.callback());
    QCOMPARE(allowed.status->ok(), runs);
    QCOMPARE(request.status->ok(), runs);
    if (runs)
        QTRY_COMPARE(testsupport::readFile(m_marker), QByteArray("args=0\n"));
    else
        QVERIFY(allowed.status->error().contains(u"shutdown command"));
    QVERIFY(m_logind.powerOffCalls.isEmpty());
}

void TestPowerOff::withoutCommandTheSystemBusLogindIsAsked()
{
    // The program's own choice talks to the system bus; go on only if that is provably ours.
    const QDBusConnection systemBus = QDBusConnection::systemBus();
    QVERIFY(systemBus.isConnected());
    QVERIFY2(systemBus.interface()->isServiceRegistered(privateBusMarker).value(),
             "the system bus connection is not the test's private bus");
    const std::unique_ptr<SystemPowerOff> powerOff = createSystemPowerOff();
    QVERIFY(dynamic_cast<LogindPowerOff*>(powerOff.get()));
    Answered request;
    powerOff->shutDownSystem(request.callback());
    QTRY_COMPARE(m_logind.powerOffCalls, QList<bool>{false});
}

QTEST_GUILESS_MAIN(TestPowerOff)
#include "tst_poweroff.moc"
