#include "EngineFixture.h"
#include "FakeLogind.h"
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
#include <unistd.h>

using namespace brevant;
using namespace std::chrono_literals;

namespace {

const QString notificationsService = QStringLiteral("org.freedesktop.Notifications");
// Owned on the private bus only; seeing it through a connection proves that connection is ours.
const QString privateBusMarker = QStringLiteral("org.brevant.PrivateTestBus");

// Keeps the answer of one asynchronous power-off call, once it has come.
SystemPowerOff::Answer into(std::optional<Status>& answered)
{
    return [&answered](const Status& answer) { answered = answer; };
}

// Sessions of other users, one per name, beside this user's own (which never counts).
QList<LogindSession> sessionsOf(const QStringList& otherUsers)
{
    QList<LogindSession> sessions{{QStringLiteral("1"), getuid(), QStringLiteral("me"),
                                   QStringLiteral("seat0"),
                                   QDBusObjectPath(QStringLiteral("/org/freedesktop/login1/session/_31"))}};
    for (const QString& user : otherUsers)
        sessions.append({user, getuid() + 1, user, QString(),
                         QDBusObjectPath(QStringLiteral("/org/freedesktop/login1/session/") + user)});
    return sessions;
}

// A block inhibitor on shutdown held by another user, one per program; beside them this user's
// own and a delay inhibitor, which never count.
QList<LogindInhibitor> inhibitorsOf(const QStringList& programs)
{
    QList<LogindInhibitor> inhibitors{{QStringLiteral("sleep:shutdown"), QStringLiteral("Mine"),
                                       QStringLiteral("own"), QStringLiteral("block"), getuid(), 10},
                                      {QStringLiteral("shutdown"), QStringLiteral("Delayer"),
                                       QStringLiteral("late"), QStringLiteral("delay"), getuid() + 1, 11}};
    for (const QString& program : programs)
        inhibitors.append({QStringLiteral("idle:shutdown"), program, QStringLiteral("busy"),
                           QStringLiteral("block"), getuid() + 1, 12});
    return inhibitors;
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
    void readiness_data();
    void readiness();
    void passwordAtTheDesk_data();
    void passwordAtTheDesk();
    void shutdownCommandRunsInsteadOfPowerOff_data();
    void shutdownCommandRunsInsteadOfPowerOff();

    void notifyFollowsTheProtocol();
    void eachChangeIsToldOnce_data();
    void eachChangeIsToldOnce();

private:
    QDBusConnection services() const { return QDBusConnection(QStringLiteral("services")); }
    void setLogind(const QString& canPowerOff, const QStringList& otherUsers, const QStringList& blockers,
                   bool sessionActive)
    {
        m_logind.canPowerOff = canPowerOff;
        m_logind.sessions = sessionsOf(otherUsers);
        m_logind.inhibitors = inhibitorsOf(blockers);
        m_session.active = sessionActive;
    }

    PrivateBus m_bus;
    FakeLogind m_logind;
    FakeLogindSession m_session;
    FakePolkit m_polkit;
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

    registerLogindTypes();
    QDBusConnection bus = QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("services"));
    QVERIFY(bus.registerObject(QStringLiteral("/org/freedesktop/login1"), &m_logind,
                               QDBusConnection::ExportAllSlots));
    QVERIFY(bus.registerObject(QStringLiteral("/org/freedesktop/login1/session/auto"), &m_session,
                               QDBusConnection::ExportAllProperties));
    QVERIFY(bus.registerVirtualObject(QStringLiteral("/org/freedesktop/PolicyKit1/Authority"), &m_polkit));
    QVERIFY(bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &m_notifications,
                               QDBusConnection::ExportAllSlots));
    for (const QString& name : {privateBusMarker, QStringLiteral("org.freedesktop.login1"),
                                QStringLiteral("org.freedesktop.PolicyKit1"), notificationsService})
        QVERIFY(bus.registerService(name));
}

void TestDesktopServices::init()
{
    m_logind.powerOffCalls.clear();
    m_logind.sessions.clear();
    m_logind.inhibitors.clear();
    m_session.active = false;
    m_polkit.checks.clear();
    m_polkit.cancelled.clear();
    m_polkit.answer = true;
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

// What logind says, turned into the readiness check's reason and what to do: read only, nothing
// is asked of polkit and nothing is powered off.
void TestDesktopServices::readiness_data()
{
    QTest::addColumn<QString>("canPowerOff"); // "": never answers
    QTest::addColumn<QStringList>("otherUsers");
    QTest::addColumn<QStringList>("blockers");
    QTest::addColumn<bool>("active");
    QTest::addColumn<bool>("inGroup");
    QTest::addColumn<QString>("reason"); // empty: ready
    QTest::addColumn<QString>("remedy");
    const QString adduser = QStringLiteral("Add this user to the group brevant, as root: adduser ");
    const QString challenge = QStringLiteral("powering off needs a password");
    const QStringList none, bob{"bob"}, updater{"Updater"};
    // clang-format off
    QTest::newRow("yes") << "yes" << none << none << false << false << "" << "";
    QTest::newRow("yes, with other users and a blocker: logind has decided") << "yes" << bob << updater << false << false << "" << "";
    QTest::newRow("only this user's sessions and inhibitors, and delay inhibitors")
        << "challenge" << none << none << false << false << challenge + " (logind answers \"challenge\" to CanPowerOff)" << adduser;
    QTest::newRow("challenge: other users logged in")
        << "challenge" << QStringList{"bob", "carol"} << none << false << false
        << challenge + " while other users are logged in (bob, carol) (logind" << adduser;
    QTest::newRow("challenge: a program blocks shutdown") << "challenge" << none << updater << false << false
        << challenge + " past a program that blocks shutdown (Updater (busy)) (logind" << adduser;
    QTest::newRow("challenge: both") << "challenge" << bob << updater << false << false
        << "logged in (bob) and past a program that blocks shutdown" << adduser;
    QTest::newRow("challenge, in the group: the rule is not in force") << "challenge" << bob << none << false << true
        << "while other users are logged in" << "/polkit-1/rules.d/50-brevant.rules) is not in force: reinstall the brevant package";
    QTest::newRow("challenge, a person at the desk could type the password: still a warning")
        << "challenge" << bob << none << true << false << "while other users are logged in"
        << "; until then only a person at this desk who types the password can let it";
    QTest::newRow("no") << "no" << none << none << true << false << "this user may not power the system off (logind answers \"no\"" << adduser;
    QTest::newRow("na") << "na" << none << none << true << false << "this system cannot be powered off by a program (logind answers \"na\""
                        << "Set BREVANT_SHUTDOWN_COMMAND to a program that shuts this machine down";
    QTest::newRow("never answers") << "" << none << none << true << false
        << "logind does not answer whether this user may power off (org.freedesktop.DBus.Error.NoReply" << "Check that systemd-logind runs";
    // clang-format on
}

void TestDesktopServices::readiness()
{
    QFETCH(QString, canPowerOff);
    QFETCH(QStringList, otherUsers);
    QFETCH(QStringList, blockers);
    QFETCH(bool, active);
    QFETCH(bool, inGroup);
    QFETCH(QString, reason);
    QFETCH(QString, remedy);
    setLogind(canPowerOff, otherUsers, blockers, active);
    LogindPowerOff powerOff(QDBusConnection::sessionBus(), 500ms);
    powerOff.setInPowerOffGroup([inGroup] { return inGroup; });
    std::optional<PowerOffReadiness> answered;
    powerOff.checkReadiness([&answered](const PowerOffReadiness& readiness) { answered = readiness; });
    QVERIFY(!answered);
    QTRY_VERIFY(answered);
    QCOMPARE(answered->ready, reason.isEmpty());
    QVERIFY2(answered->reason.contains(reason), qPrintable(answered->reason));
    QVERIFY2(answered->remedy.contains(remedy), qPrintable(answered->remedy));
    QVERIFY(m_polkit.checks.isEmpty());
    QVERIFY(m_logind.powerOffCalls.isEmpty());
}

// On "challenge" with this session active, the password is asked for before the UPS could be
// switched off (checkAllowed), for the rights logind will check, for this very connection; only
// then is PowerOff asked interactively. Otherwise the power-off is refused and never requested.
void TestDesktopServices::passwordAtTheDesk_data()
{
    QTest::addColumn<bool>("active");
    QTest::addColumn<bool>("passwordGiven");
    QTest::addColumn<bool>("windowAnswers"); // false: nobody closes the password window
    QTest::addColumn<QStringList>("otherUsers");
    QTest::addColumn<QStringList>("blockers");
    QTest::addColumn<QStringList>("checks"); // "action|flags|subject"; flags 1: the user may be asked
    QTest::addColumn<QList<bool>>("powerOffCalls");
    const QString multiple = QStringLiteral("org.freedesktop.login1.power-off-multiple-sessions|1|self");
    const QString inhibit = QStringLiteral("org.freedesktop.login1.power-off-ignore-inhibit|1|self");
    const QString plain = QStringLiteral("org.freedesktop.login1.power-off|1|self");
    const QStringList none, bob{"bob"}, updater{"Updater"};
    const QList<bool> interactive{true}, never;
    // clang-format off
    QTest::newRow("other users: password given") << true << true << true << bob << none << QStringList{multiple} << interactive;
    QTest::newRow("other users and a blocker: both rights") << true << true << true << bob << updater << QStringList{multiple, inhibit} << interactive;
    QTest::newRow("no cause listed: the plain right") << true << true << true << none << none << QStringList{plain} << interactive;
    QTest::newRow("refused in the window: the second right not asked") << true << false << true << bob << updater << QStringList{multiple} << never;
    QTest::newRow("nobody there: the window is closed again") << true << false << false << bob << none << QStringList{multiple} << never;
    QTest::newRow("session not active: refused without asking") << false << true << true << bob << none << none << never;
    // clang-format on
}

void TestDesktopServices::passwordAtTheDesk()
{
    QFETCH(bool, active);
    QFETCH(bool, passwordGiven);
    QFETCH(bool, windowAnswers);
    QFETCH(QStringList, otherUsers);
    QFETCH(QStringList, blockers);
    QFETCH(QStringList, checks);
    QFETCH(QList<bool>, powerOffCalls);
    setLogind(QStringLiteral("challenge"), otherUsers, blockers, active);
    m_polkit.authorize = passwordGiven;
    m_polkit.answer = windowAnswers;

    LogindPowerOff powerOff(QDBusConnection::sessionBus(), 500ms);
    powerOff.setPasswordTimeout(500ms);
    std::optional<Status> allowed;
    powerOff.checkAllowed(into(allowed));
    QTRY_VERIFY(allowed);
    QCOMPARE(m_polkit.checks, checks);
    QCOMPARE(allowed->ok(), !powerOffCalls.isEmpty());
    if (!allowed->ok()) {
        QVERIFY2(allowed->error().contains(u"powering off needs a password"), qPrintable(allowed->error()));
        // The window left open is closed by the id it was opened with.
        QTRY_COMPARE(m_polkit.cancelled,
                     windowAnswers ? QStringList() : QStringList{"brevant-power-off-1|brevant-power-off-1"});
        QVERIFY(m_logind.powerOffCalls.isEmpty());
        return; // the shutdown step stops here, before the UPS-off and the power-off
    }
    std::optional<Status> request;
    powerOff.shutDownSystem(into(request));
    QTRY_VERIFY(request);
    QVERIFY(request->ok());
    QCOMPARE(m_logind.powerOffCalls, powerOffCalls);

    // The next time nobody is asked: the system agrees on its own, and PowerOff is not interactive.
    m_logind.canPowerOff = QStringLiteral("yes");
    allowed.reset();
    request.reset();
    powerOff.checkAllowed(into(allowed));
    QTRY_VERIFY(allowed && allowed->ok());
    powerOff.shutDownSystem(into(request));
    QTRY_VERIFY(request);
    QCOMPARE(m_logind.powerOffCalls, powerOffCalls + QList<bool>{false});
}

void TestDesktopServices::shutdownCommandRunsInsteadOfPowerOff_data()
{
    QTest::addColumn<bool>("viaLogind"); // the variable not set
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<bool>("runs");
    QTest::newRow("absolute path") << false << QByteArray(RECORDER_SCRIPT) << true;
    QTest::newRow("empty") << false << QByteArray() << false;
    QTest::newRow("missing") << false << QFile::encodeName(m_bus.directory() + u"/no-such-program") << false;
    QTest::newRow("a directory") << false << QFile::encodeName(m_bus.directory()) << false;
    QTest::newRow("not executable") << false << QFile::encodeName(m_bus.directory() + u"/bus.conf") << false;
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
    if (!viaLogind) { // the readiness check says beforehand what the request will meet
        std::optional<PowerOffReadiness> readiness;
        powerOff->checkReadiness([&readiness](const PowerOffReadiness& answer) { readiness = answer; });
        QVERIFY(readiness);
        QCOMPARE(readiness->ready, runs);
        QCOMPARE(readiness->remedy.isEmpty(), runs);
    }
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
