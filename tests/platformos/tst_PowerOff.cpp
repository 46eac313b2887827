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

using namespace brevant;
using namespace std::chrono_literals;

namespace {

const QString logindService = QStringLiteral("org.freedesktop.login1");
// Owned on the private bus only; seeing it through a connection proves that connection is ours.
const QString privateBusMarker = QStringLiteral("org.brevant.PrivateTestBus");

// logind's Manager object as far as powering off goes: records every PowerOff and answers it as
// told.
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
    QList<bool> powerOffCalls;

public slots:
    void PowerOff(bool interactive)
    {
        powerOffCalls.append(interactive);
        if (answer == Answer::Refuse)
            sendErrorReply(QDBusError::AccessDenied, QStringLiteral("Interactive authentication required."));
        else if (answer == Answer::Hold)
            setDelayedReply(true); // and never answered
    }
};

// Collects warnings for the duration of a test.
class WarningLog
{
public:
    WarningLog() { s_previous = qInstallMessageHandler(&WarningLog::handle); }
    ~WarningLog()
    {
        qInstallMessageHandler(s_previous);
        s_messages.clear();
    }
    static bool contains(const QString& text)
    {
        return std::any_of(s_messages.cbegin(), s_messages.cend(),
                           [&](const QString& m) { return m.contains(text); });
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        if (type == QtWarningMsg)
            s_messages.append(message);
        s_previous(type, context, message);
    }
    static inline QtMessageHandler s_previous = nullptr;
    static inline QStringList s_messages;
};

} // namespace

class TestPowerOff : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void logindIsAskedOnceNotInteractively();
    void logindRefusalIsOnlyLogged();
    void unansweredCallDoesNotBlock();
    void missingBusIsOnlyLogged();
    void shutdownCommandRunsInsteadOfPowerOff();
    void unusableShutdownCommandRunsNothing_data();
    void unusableShutdownCommandRunsNothing();
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

void TestPowerOff::logindIsAskedOnceNotInteractively()
{
    LogindPowerOff powerOff(clientBus());
    powerOff.shutDownSystem();
    QTRY_COMPARE(m_logind.powerOffCalls, QList<bool>{false});
}

void TestPowerOff::logindRefusalIsOnlyLogged()
{
    WarningLog warnings;
    m_logind.answer = FakeLogind::Answer::Refuse;
    LogindPowerOff powerOff(clientBus());
    powerOff.shutDownSystem();
    QTRY_VERIFY(WarningLog::contains(QStringLiteral("org.freedesktop.DBus.Error.AccessDenied")));
    QCOMPARE(m_logind.powerOffCalls.size(), 1);
}

void TestPowerOff::unansweredCallDoesNotBlock()
{
    WarningLog warnings;
    m_logind.answer = FakeLogind::Answer::Hold;
    LogindPowerOff powerOff(clientBus(), 1s);
    QElapsedTimer elapsed;
    elapsed.start();
    powerOff.shutDownSystem();
    QVERIFY(elapsed.elapsed() < 500);
    QTRY_VERIFY(WarningLog::contains(QStringLiteral("org.freedesktop.DBus.Error.NoReply")));
    QTRY_COMPARE(m_logind.powerOffCalls.size(), 1);
}

void TestPowerOff::missingBusIsOnlyLogged()
{
    // A machine without a system bus (a container): the request fails at once and is logged.
    WarningLog warnings;
    const QString name = QStringLiteral("no-bus");
    {
        LogindPowerOff powerOff(QDBusConnection::connectToBus(
            QStringLiteral("unix:path=") + m_dir.filePath(QStringLiteral("none")), name));
        powerOff.shutDownSystem();
        QTRY_VERIFY(WarningLog::contains(QStringLiteral("logind refused to power off")));
    }
    QDBusConnection::disconnectFromBus(name);
    QVERIFY(m_logind.powerOffCalls.isEmpty());
}

void TestPowerOff::shutdownCommandRunsInsteadOfPowerOff()
{
    qputenv("BREVANT_SHUTDOWN_COMMAND", RECORDER_SCRIPT);
    const std::unique_ptr<SystemPowerOff> powerOff = createSystemPowerOff();
    QVERIFY(dynamic_cast<CommandPowerOff*>(powerOff.get())); // never power off from a test
    powerOff->shutDownSystem();
    QTRY_COMPARE(testsupport::readFile(m_marker), QByteArray("args=0\n"));
    QVERIFY(m_logind.powerOffCalls.isEmpty());
}

void TestPowerOff::unusableShutdownCommandRunsNothing_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("relative") << QByteArray("tests/platformos/recorder.sh");
    QTest::newRow("missing") << QFile::encodeName(m_dir.filePath(QStringLiteral("no-such-program")));
}

void TestPowerOff::unusableShutdownCommandRunsNothing()
{
    QFETCH(QByteArray, command);
    WarningLog warnings;
    qputenv("BREVANT_SHUTDOWN_COMMAND", command);
    const std::unique_ptr<SystemPowerOff> powerOff = createSystemPowerOff();
    QVERIFY(dynamic_cast<CommandPowerOff*>(powerOff.get())); // a set variable always wins
    powerOff->shutDownSystem();
    QVERIFY(WarningLog::contains(QStringLiteral("Shutdown command")));
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
    powerOff->shutDownSystem();
    QTRY_COMPARE(m_logind.powerOffCalls, QList<bool>{false});
}

QTEST_GUILESS_MAIN(TestPowerOff)
#include "tst_PowerOff.moc"
