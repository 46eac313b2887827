#include "../platformos/PrivateBus.h"
#include "platform/qtwidgets/QtTrayIcon.h"

#include <QDBusConnectionInterface>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace brevant;

namespace {

// A panel's StatusNotifierWatcher with its host, as lxqt-panel or Plasma register them.
class FakeWatcher : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)

public:
    bool hostRegistered() const { return true; }

    // Comes up as a panel does: object, name, then the host's announcement.
    bool registerOn(QDBusConnection bus)
    {
        const bool registered = bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), this,
                                                   QDBusConnection::ExportAllContents) &&
                                bus.registerService(QtTrayIcon::WatcherService);
        emit StatusNotifierHostRegistered();
        return registered;
    }

public slots:
    void RegisterStatusNotifierItem(const QString&) {}
    void RegisterStatusNotifierHost(const QString&) {}

signals:
    void StatusNotifierHostRegistered();
};

} // namespace

// The tray adapter: one icon for the program's life, changed only where a replacement differs; the
// main window is reached on every kind of notification area, and nothing else on the icon has an
// effect.
class TestTrayIcon : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        const QString failure = m_bus.start();
        if (!failure.isEmpty())
            QSKIP(qPrintable(failure));
    }

    void waitsForANotificationAreaAtLogin_data()
    {
        QTest::addColumn<int>("panelAfterMs"); // when the panel registers its watcher and host
        QTest::addColumn<int>("waitMs");       // the wait's bound
        QTest::addColumn<bool>("waitEndsWithThePanel");
        QTest::newRow("panel up a few seconds after the start") << 3000 << 60000 << true;
        QTest::newRow("panel up after the wait") << 1500 << 200 << false;
    }

    // Started by the autostart entry before the panel: no icon is made (Qt would settle on "no
    // StatusNotifierItem host" for the whole session) until the panel's host registers, or the wait
    // ends; a host that comes later still gets the icon, made again.
    void waitsForANotificationAreaAtLogin()
    {
        QFETCH(int, panelAfterMs);
        QFETCH(int, waitMs);
        QFETCH(bool, waitEndsWithThePanel);
        const QString name = QString::fromLatin1(QTest::currentDataTag());
        QDBusConnection trayBus = QDBusConnection::connectToBus(m_bus.address(), u"tray " + name);
        QDBusConnection panelBus = QDBusConnection::connectToBus(m_bus.address(), u"panel " + name);
        QtTrayIcon tray;
        QSignalSpy waitEnded(&tray, &QtTrayIcon::waitEnded);
        tray.waitForNotificationArea(waitMs, trayBus);
        tray.replaceTrayIcon(TrayPicture::ImaSOk, QStringLiteral("UPS is on battery"));
        QVERIFY(!tray.icon());

        FakeWatcher panel;
        QTimer::singleShot(panelAfterMs, &panel, [&] { QVERIFY(panel.registerOn(panelBus)); });
        QTRY_COMPARE_WITH_TIMEOUT(waitEnded.size(), 1, panelAfterMs + 10000);
        QCOMPARE(panelBus.interface()->isServiceRegistered(QtTrayIcon::WatcherService), waitEndsWithThePanel);
        QCOMPARE(waitEnded.at(0).at(0).toBool(), waitEndsWithThePanel); // offscreen: no XEmbed area either
        if (!waitEndsWithThePanel) { // meanwhile an icon for an XEmbed area
            QVERIFY(tray.icon());
            QCOMPARE(tray.host(), QtTrayIcon::Host::ReportsDoubleClick);
        }
        const QPointer<QSystemTrayIcon> before = tray.icon();
        QTRY_COMPARE_WITH_TIMEOUT(tray.host(), QtTrayIcon::Host::ReportsActivationOnly, panelAfterMs + 10000);
        QVERIFY(tray.icon());
        QCOMPARE(!before, !waitEndsWithThePanel); // made again only for a host that came late
        QCOMPARE(tray.icon()->toolTip(), QStringLiteral("UPS is on battery"));
        QVERIFY(tray.icon()->isVisible() || !QSystemTrayIcon::isSystemTrayAvailable());
        panelBus.unregisterService(QtTrayIcon::WatcherService);
        panelBus.unregisterObject(QStringLiteral("/StatusNotifierWatcher"));
    }

    void repeatedReplacementChangesNothing_data()
    {
        QTest::addColumn<int>("picture"); // a TrayPicture
        QTest::addColumn<QString>("tip");
        QTest::addColumn<bool>("pictureChanges");
        const int samePicture = int(TrayPicture::ImaMain);
        QTest::newRow("same picture, same tip (a lost-link tick)") << samePicture << "Brevant" << false;
        QTest::newRow("same picture, new tip") << samePicture << "USB link lost" << false;
        QTest::newRow("new picture, same tip") << int(TrayPicture::ImaSLow) << "Brevant" << true;
    }

    // The engine repeats its replacement on every tick; the notification area must not see the icon
    // go and come back (it re-registers it and moves it among the others).
    void repeatedReplacementChangesNothing()
    {
        QFETCH(int, picture);
        QFETCH(QString, tip);
        QFETCH(bool, pictureChanges);
        QtTrayIcon tray(QtTrayIcon::Host::ReportsDoubleClick);
        tray.replaceTrayIcon(TrayPicture::ImaMain, QStringLiteral("Brevant"));
        const QPointer<QSystemTrayIcon> first = tray.icon();
        const qint64 firstPicture = first->icon().cacheKey();
        for (int tick = 0; tick < 3; ++tick)
            tray.replaceTrayIcon(TrayPicture(picture), tip);
        QVERIFY2(first, "the icon was destroyed");
        QCOMPARE(tray.icon(), first.data());
        QCOMPARE(first->toolTip(), tip);
        QCOMPARE(first->icon().cacheKey() != firstPicture, pictureChanges);

        // A host that comes up later gets a new icon showing the same.
        tray.recreateFor(QtTrayIcon::Host::ReportsActivationOnly);
        QVERIFY(!first);
        QCOMPARE(tray.icon()->toolTip(), tip);
        QVERIFY(!tray.icon()->icon().isNull());
    }

    void activationShowsTheWindow_data()
    {
        QTest::addColumn<bool>("sni"); // a StatusNotifierItem host reports activation only
        QTest::addColumn<QSystemTrayIcon::ActivationReason>("reason");
        QTest::addColumn<bool>("shows");
        QTest::newRow("XEmbed double click") << false << QSystemTrayIcon::DoubleClick << true;
        QTest::newRow("XEmbed single click") << false << QSystemTrayIcon::Trigger << false;
        QTest::newRow("SNI activation") << true << QSystemTrayIcon::Trigger << true;
        QTest::newRow("SNI context menu") << true << QSystemTrayIcon::Context << false;
    }

    void activationShowsTheWindow()
    {
        QFETCH(bool, sni);
        QFETCH(QSystemTrayIcon::ActivationReason, reason);
        QFETCH(bool, shows);
        QtTrayIcon tray(QtTrayIcon::Host::ReportsDoubleClick);
        QSignalSpy doubleClicked(&tray, &QtTrayIcon::doubleClicked);
        tray.replaceTrayIcon(TrayPicture::ImaSOk, QStringLiteral("UPS is on battery"));
        if (sni) // the host that comes late gets an icon wired like the first one
            tray.recreateFor(QtTrayIcon::Host::ReportsActivationOnly);
        QVERIFY(tray.icon());
        emit tray.icon()->activated(reason);
        QCOMPARE(doubleClicked.count(), shows ? 1 : 0);
        tray.remove();
        QVERIFY(!tray.icon()->isVisible());
    }

private:
    PrivateBus m_bus;
};

QTEST_MAIN(TestTrayIcon)
#include "tst_trayicon.moc"
