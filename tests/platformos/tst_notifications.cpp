#include "EngineFixture.h"
#include "FakeNotifications.h"
#include "PrivateBus.h"
#include "WarningLog.h"
#include "engine/NotificationPresenter.h"
#include "platform/qt/FreedesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusPendingCallWatcher>
#include <QTest>

using namespace brevant;

namespace {

const QString notificationsService = QStringLiteral("org.freedesktop.Notifications");

} // namespace

// Desktop notifications against a fake notification service on a private session bus, fed by the
// real engine on simulated devices and virtual time.
class TestNotifications : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void notifyFollowsTheProtocol();
    void missingServiceIsLoggedOnce();
    void eachChangeIsToldOnce_data();
    void eachChangeIsToldOnce();

private:
    QDBusConnection serviceBus() const { return QDBusConnection(QStringLiteral("fake-notifications")); }
    QDBusConnection clientBus() const { return QDBusConnection(QStringLiteral("client")); }

    std::unique_ptr<PrivateBus> m_bus;
    FakeNotifications m_service;
};

void TestNotifications::initTestCase()
{
    m_bus = std::make_unique<PrivateBus>();
    QVERIFY2(m_bus->start(), qPrintable(m_bus->error()));
    QDBusConnection service =
        QDBusConnection::connectToBus(m_bus->address(), QStringLiteral("fake-notifications"));
    QVERIFY(service.isConnected());
    QVERIFY(service.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &m_service,
                                   QDBusConnection::ExportAllSlots));
    QVERIFY(service.registerService(notificationsService));
    QVERIFY(QDBusConnection::connectToBus(m_bus->address(), QStringLiteral("client")).isConnected());
}

void TestNotifications::init()
{
    m_service.shown.clear();
}

void TestNotifications::cleanupTestCase()
{
    QDBusConnection::disconnectFromBus(QStringLiteral("client"));
    QDBusConnection::disconnectFromBus(QStringLiteral("fake-notifications"));
    m_bus.reset();
}

void TestNotifications::notifyFollowsTheProtocol()
{
    FreedesktopNotifier notifier(clientBus());
    notifier.notify({QStringLiteral("UPS battery low"), QStringLiteral("Shuts down in 1 minute."),
                     DesktopNotifier::Urgency::Critical});
    QTRY_COMPARE(m_service.shown.size(), 1);
    const FakeNotifications::Shown& first = m_service.shown.first();
    QCOMPARE(first.appName, QStringLiteral("Brevant"));
    QCOMPARE(first.icon, QStringLiteral("brevant"));
    QCOMPARE(first.summary, QStringLiteral("UPS battery low"));
    QCOMPARE(first.body, QStringLiteral("Shuts down in 1 minute."));
    QCOMPARE(first.replacesId, 0u);
    QCOMPARE(first.hints.value(QStringLiteral("urgency")).value<uchar>(), uchar(2));
    QCOMPARE(first.hints.value(QStringLiteral("urgency")).metaType(),
             QMetaType::fromType<uchar>()); // D-Bus 'y'
    QCOMPARE(first.timeout, -1);

    // The next one takes the place of the first, which is out of date by then: once the reply
    // with the first one's id is in (its watcher is gone).
    QTRY_VERIFY(notifier.findChildren<QDBusPendingCallWatcher*>().isEmpty());
    notifier.notify({QStringLiteral("Mains power back"), QString(), DesktopNotifier::Urgency::Normal});
    QTRY_COMPARE(m_service.shown.size(), 2);
    QCOMPARE(m_service.shown.last().replacesId, 101u);
    QCOMPARE(m_service.shown.last().hints.value(QStringLiteral("urgency")).value<uchar>(), uchar(1));
}

void TestNotifications::missingServiceIsLoggedOnce()
{
    WarningLog warnings;
    QVERIFY(serviceBus().unregisterService(notificationsService));
    FreedesktopNotifier notifier(clientBus());
    notifier.notify({QStringLiteral("one"), {}, DesktopNotifier::Urgency::Normal});
    notifier.notify({QStringLiteral("two"), {}, DesktopNotifier::Urgency::Normal});
    QTRY_COMPARE(WarningLog::count(QStringLiteral("desktop notification not shown")), 1);
    QVERIFY(serviceBus().registerService(notificationsService));
    notifier.notify({QStringLiteral("three"), {}, DesktopNotifier::Urgency::Normal});
    QTRY_COMPARE(m_service.shown.size(), 1);
    QCOMPARE(WarningLog::count(QStringLiteral("desktop notification not shown")), 1);
}

void TestNotifications::eachChangeIsToldOnce_data()
{
    // Steps: "usb:<state>" then a poll tick, "set:<Section/Key>=<value>". Expected: "summary|body".
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("mains fails with a countdown, then returns")
        << QStringList{"set:UpsOnBattery/Shutdown=1",
                       "set:UpsOnBattery/Delaytime=2.5",
                       "usb:onbattery",
                       "usb:onbattery",
                       "usb:online",
                       "usb:online"}
        << QStringList{
               "Mains power failed|The mains power failed: the UPS runs on battery. The computer shuts "
               "down in 2 minutes 30 seconds unless the mains returns.",
               "Mains power back|The mains power is back: the UPS runs on the mains again."};
    QTest::newRow("a disabled battery-low event repeating on every tick is told once")
        << QStringList{"set:UpsLowBattery/Disableevent=1",
                       "set:UpsLowBattery/Shutdown=1",
                       "set:UpsLowBattery/Delaytime=1",
                       "usb:lowbattery",
                       "usb:lowbattery",
                       "usb:lowbattery"}
        << QStringList{"UPS battery low|The UPS battery is running low. The computer shuts down in 1 minute "
                       "unless the mains returns."};
    QTest::newRow("low battery straight back to mains is one notification")
        << QStringList{"usb:onbattery", "usb:lowbattery", "usb:online"}
        << QStringList{"Mains power failed|The mains power failed: the UPS runs on battery.",
                       "UPS battery low|The UPS battery is running low.",
                       "Mains power back|The mains power is back: the UPS runs on the mains again. The UPS "
                       "battery is no longer low."};
    QTest::newRow("UPS stops answering and answers again")
        << QStringList{"usb:silent", "usb:silent", "usb:online"}
        << QStringList{
               "UPS not answering|The UPS does not answer over USB: power failures cannot be seen until "
               "it answers again.",
               "UPS answering again|The UPS answers again."};
    QTest::newRow("switched off, nothing is told")
        << QStringList{"set:Desktop/Notifications=0", "usb:onbattery", "set:Desktop/Notifications=1",
                       "usb:online"}
        << QStringList{"Mains power back|The mains power is back: the UPS runs on the mains again."};
}

void TestNotifications::eachChangeIsToldOnce()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, expected);

    testsupport::EngineFixture f;
    FreedesktopNotifier notifier(clientBus());
    NotificationPresenter presenter(f.engine().monitor(), f.engine().settings(), notifier);
    f.start();
    f.tick();
    for (const QString& step : steps) {
        const QString argument = step.section(u':', 1);
        if (step.startsWith(u"set:")) {
            const QString section = argument.section(u'/', 0, 0);
            const QString name = argument.section(u'/', 1).section(u'=', 0, 0);
            f.set(IniKey{section, name}, argument.section(u'=', 1));
            continue;
        }
        f.platform().halvic.setUpsState(*SimulatedHalvic::parseUpsState(argument));
        f.tick();
        QCoreApplication::processEvents(); // the tick's notification, if any, is on its way
    }
    // Calls from one connection arrive in order: everything told is in when this one is.
    notifier.notify({QStringLiteral("end"), {}, DesktopNotifier::Urgency::Normal});
    QTRY_VERIFY(!m_service.shown.isEmpty() && m_service.shown.last().summary == u"end");
    QStringList told;
    for (const FakeNotifications::Shown& n : m_service.shown)
        told.append(n.summary + u'|' + n.body);
    told.removeLast();
    QCOMPARE(told, expected);
}

QTEST_GUILESS_MAIN(TestNotifications)
#include "tst_notifications.moc"
