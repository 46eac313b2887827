#include "EngineFixture.h"
#include "FakeNotifications.h"
#include "PrivateBus.h"
#include "TestFiles.h"
#include "engine/NotificationPresenter.h"
#include "platform/SystemPowerOffFactory.h"
#include "platform/linux/LogindPowerOff.h"
#include "platform/qt/CommandPowerOff.h"
#include "platform/qt/FreedesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusPendingCallWatcher>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTest>

using namespace brevant;
using namespace std::chrono_literals;

namespace {

const QString notificationsService = QStringLiteral("org.freedesktop.Notifications");
// Owned on the private bus only; seeing it through a connection proves that connection is ours.
const QString privateBusMarker = QStringLiteral("org.brevant.PrivateTestBus");

// logind's Manager object as far as powering off goes: answers as told ("" never answers) and
// records every PowerOff.
class FakeLogind : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    QString canPowerOff;
    bool answerPowerOff = true;
    QList<bool> powerOffCalls;

public slots:
    QString CanPowerOff()
    {
        setDelayedReply(canPowerOff.isEmpty());
        return canPowerOff;
    }
    void PowerOff(bool interactive)
    {
        powerOffCalls.append(interactive);
        setDelayedReply(!answerPowerOff);
    }
};

// Keeps the answer of one asynchronous power-off call, once it has come.
SystemPowerOff::Answer into(std::optional<Status>& answered)
{
    return [&answered](const Status& answer) { answered = answer; };
}

} // namespace

// The desktop services the monitor calls, on a private bus standing in for both the system and
// the session bus: logind to power off, and the desktop's notifications, fed by the real engine
// on simulated devices and virtual time.
class TestDesktopServices : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void logind_data();
    void logind();
    void shutdownCommandRunsInsteadOfPowerOff_data();
    void shutdownCommandRunsInsteadOfPowerOff();

    void notifyFollowsTheProtocol();
    void eachChangeIsToldOnce_data();
    void eachChangeIsToldOnce();

private:
    QDBusConnection services() const { return QDBusConnection(QStringLiteral("services")); }

    PrivateBus m_bus;
    FakeLogind m_logind;
    FakeNotifications m_notifications;
    QString m_marker = m_bus.directory() + QStringLiteral("/ran");
};

void TestDesktopServices::initTestCase()
{
    // Nothing below may reach the machine's real system bus: without a private bus, stop here.
    const QString noBus = m_bus.start();
    QVERIFY2(noBus.isEmpty(), qPrintable(noBus));
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_bus.address().toLocal8Bit());
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_bus.address().toLocal8Bit());
    qputenv("BREVANT_TEST_MARKER", QFile::encodeName(m_marker));

    QDBusConnection bus = QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("services"));
    QVERIFY(bus.registerObject(QStringLiteral("/org/freedesktop/login1"), &m_logind,
                               QDBusConnection::ExportAllSlots));
    QVERIFY(bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &m_notifications,
                               QDBusConnection::ExportAllSlots));
    for (const QString& name :
         {privateBusMarker, QStringLiteral("org.freedesktop.login1"), notificationsService})
        QVERIFY(bus.registerService(name));
}

void TestDesktopServices::init()
{
    m_logind.powerOffCalls.clear();
    m_notifications.shown = m_notifications.details = {};
    QFile::remove(m_marker);
    qunsetenv("BREVANT_SHUTDOWN_COMMAND");
}

void TestDesktopServices::cleanupTestCase()
{
    QDBusConnection::disconnectFromBus(QStringLiteral("services"));
}

// Every call to logind is asynchronous: the caller never waits for it, and the answer always
// comes from the event loop, even with no bus at all (a container).
void TestDesktopServices::logind_data()
{
    QTest::addColumn<bool>("busUp");
    QTest::addColumn<bool>("shutDown"); // false: only asks whether the power-off is allowed
    QTest::addColumn<QString>("canPowerOff");
    QTest::addColumn<bool>("answerPowerOff");
    QTest::addColumn<QString>("refusal"); // empty: allowed
    QTest::newRow("allowed") << true << false << "yes" << true << "";
    QTest::newRow("challenge") << true << false << "challenge" << true << "\"challenge\"";
    QTest::newRow("accepted") << true << true << "yes" << true << "";
    QTest::newRow("never answered") << true << true << "yes" << false << "org.freedesktop.DBus.Error.NoReply";
    QTest::newRow("no bus") << false << true << "yes" << true << "logind";
}

void TestDesktopServices::logind()
{
    QFETCH(bool, busUp);
    QFETCH(bool, shutDown);
    QFETCH(QString, refusal);
    QFETCH(QString, canPowerOff);
    QFETCH(bool, answerPowerOff);
    m_logind.canPowerOff = canPowerOff;
    m_logind.answerPowerOff = answerPowerOff;
    const QDBusConnection connection =
        busUp ? QDBusConnection::sessionBus()
              : QDBusConnection::connectToBus(QStringLiteral("unix:path=") + m_bus.directory() + u"/none",
                                              QStringLiteral("none"));
    {
        LogindPowerOff powerOff(connection, 500ms);
        std::optional<Status> answered;
        QElapsedTimer elapsed;
        elapsed.start();
        shutDown ? powerOff.shutDownSystem(into(answered)) : powerOff.checkAllowed(into(answered));
        QVERIFY(elapsed.elapsed() < 200 && !answered);
        QTRY_VERIFY(answered);
        QCOMPARE(answered->ok(), refusal.isEmpty());
        QVERIFY2(answered->error().contains(refusal), qPrintable(answered->error()));
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("none"));
    // Once, and not interactive: nobody is there to answer a password prompt.
    QCOMPARE(m_logind.powerOffCalls, shutDown && busUp ? QList<bool>{false} : QList<bool>{});
}

void TestDesktopServices::shutdownCommandRunsInsteadOfPowerOff_data()
{
    QTest::addColumn<bool>("viaLogind"); // the variable not set
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<bool>("runs");
    QTest::newRow("absolute path") << false << QByteArray(RECORDER_SCRIPT) << true;
    QTest::newRow("empty") << false << QByteArray() << false;
    QTest::newRow("missing") << false << QFile::encodeName(m_bus.directory() + u"/no-such-program") << false;
    QTest::newRow("not set: logind on the system bus") << true << QByteArray() << true;
}

// A set variable always wins, even an unusable one: never power off from a test.
void TestDesktopServices::shutdownCommandRunsInsteadOfPowerOff()
{
    QFETCH(QByteArray, command);
    QFETCH(bool, runs);
    QFETCH(bool, viaLogind);
    if (viaLogind) {
        // The program's own choice talks to the system bus; go on only if that is provably ours.
        QVERIFY(QDBusConnection::systemBus().isConnected());
        QVERIFY2(QDBusConnection::systemBus().interface()->isServiceRegistered(privateBusMarker).value(),
                 "the system bus connection is not the test's private bus");
    } else {
        qputenv("BREVANT_SHUTDOWN_COMMAND", command);
    }
    const std::unique_ptr<SystemPowerOff> powerOff = createSystemPowerOff();
    QCOMPARE(dynamic_cast<CommandPowerOff*>(powerOff.get()) == nullptr, viaLogind);
    std::optional<Status> request;
    powerOff->shutDownSystem(into(request));
    QTRY_VERIFY(request);
    QCOMPARE(request->ok(), runs);
    if (runs && !viaLogind)
        QTRY_COMPARE(testsupport::readFile(m_marker), QByteArray("args=0\n"));
    QCOMPARE(m_logind.powerOffCalls, viaLogind ? QList<bool>{false} : QList<bool>{});
}

void TestDesktopServices::notifyFollowsTheProtocol()
{
    FreedesktopNotifier notifier(QDBusConnection::sessionBus());
    // No notification service yet: the failure is logged once, not once per notification.
    const QRegularExpression notShown(QStringLiteral("desktop notification not shown"));
    QTest::ignoreMessage(QtWarningMsg, notShown);
    QTest::failOnWarning(notShown);
    QVERIFY(services().unregisterService(notificationsService));
    notifier.notify({QStringLiteral("lost"), {}, DesktopNotifier::Urgency::Normal});
    notifier.notify({QStringLiteral("lost too"), {}, DesktopNotifier::Urgency::Normal});
    QTRY_VERIFY(notifier.findChildren<QDBusPendingCallWatcher*>().isEmpty());
    QVERIFY(services().registerService(notificationsService));

    notifier.notify(
        {QStringLiteral("UPS battery low"), QStringLiteral("Soon."), DesktopNotifier::Urgency::Critical});
    // The next one takes the place of the first, which is out of date by then: once the reply
    // with the first one's id is in (its watcher is gone).
    QTRY_VERIFY(notifier.findChildren<QDBusPendingCallWatcher*>().isEmpty());
    notifier.notify({QStringLiteral("Mains power back"), QString(), DesktopNotifier::Urgency::Normal});
    QTRY_COMPARE(m_notifications.shown, QStringList({"UPS battery low|Soon.", "Mains power back|"}));
    // Urgency is a byte (D-Bus 'y'); -1: the desktop's own display time.
    QCOMPARE(m_notifications.details,
             QStringList({"Brevant|brevant|0|2uchar|-1", "Brevant|brevant|101|1uchar|-1"}));
}

void TestDesktopServices::eachChangeIsToldOnce_data()
{
    // Settings as "Section/Key=value", then one poll tick per UPS state. Expected: "summary|body".
    QTest::addColumn<QStringList>("settings");
    QTest::addColumn<QStringList>("states");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("mains fails with a countdown, then returns")
        << QStringList{"UpsOnBattery/Shutdown=1", "UpsOnBattery/Delaytime=2.5"}
        << QStringList{"onbattery", "onbattery", "online"}
        << QStringList{
               "Mains power failed|The mains power failed: the UPS runs on battery. The computer shuts "
               "down in 2 minutes 30 seconds unless the mains returns.",
               "Mains power back|The mains power is back: the UPS runs on the mains again."};
    QTest::newRow("a disabled battery-low event repeating on every tick is told once")
        << QStringList{"UpsLowBattery/Disableevent=1", "UpsLowBattery/Shutdown=1",
                       "UpsLowBattery/Delaytime=1"}
        << QStringList{"lowbattery", "lowbattery", "lowbattery"}
        << QStringList{"UPS battery low|The UPS battery is running low. The computer shuts down in 1 minute "
                       "unless the mains returns."};
    QTest::newRow("low battery straight back to mains is one notification")
        << QStringList() << QStringList{"onbattery", "lowbattery", "online"}
        << QStringList{"Mains power failed|The mains power failed: the UPS runs on battery.",
                       "UPS battery low|The UPS battery is running low.",
                       "Mains power back|The mains power is back: the UPS runs on the mains again. The UPS "
                       "battery is no longer low."};
    QTest::newRow("switched off, nothing is told")
        << QStringList{"Desktop/Notifications=0"} << QStringList{"onbattery", "online"} << QStringList();
}

void TestDesktopServices::eachChangeIsToldOnce()
{
    QFETCH(QStringList, settings);
    QFETCH(QStringList, states);
    QFETCH(QStringList, expected);

    testsupport::EngineFixture f;
    FreedesktopNotifier notifier(QDBusConnection::sessionBus());
    NotificationPresenter presenter(f.engine().monitor(), f.engine().settings(), notifier);
    f.start();
    f.tick();
    for (const QString& s : settings)
        f.set(IniKey{s.section(u'/', 0, 0), s.section(u'/', 1).section(u'=', 0, 0)}, s.section(u'=', 1));
    for (const QString& state : states) {
        f.platform().halvic.setUpsState(*SimulatedHalvic::parseUpsState(state));
        f.tick();
        QCoreApplication::processEvents(); // the tick's notification, if any, is on its way
    }
    // Calls from one connection arrive in order: everything told is in when this one is.
    notifier.notify({QStringLiteral("end"), {}, DesktopNotifier::Urgency::Normal});
    QTRY_COMPARE(m_notifications.shown.value(m_notifications.shown.size() - 1), QStringLiteral("end|"));
    QCOMPARE(m_notifications.shown.first(m_notifications.shown.size() - 1), expected);
}

QTEST_GUILESS_MAIN(TestDesktopServices)
#include "tst_desktopservices.moc"
