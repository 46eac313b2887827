#include "platform/qtwidgets/QtTrayIcon.h"

#include <QSignalSpy>
#include <QTest>

using namespace brevant;

// The tray adapter: the main window is reached on every kind of notification area, and nothing
// else on the icon has an effect.
class TestTrayIcon : public QObject
{
    Q_OBJECT

private slots:
    void activationShowsTheWindow_data();
    void activationShowsTheWindow();
};

void TestTrayIcon::activationShowsTheWindow_data()
{
    QTest::addColumn<bool>("sni"); // a StatusNotifierItem host reports activation only
    QTest::addColumn<QSystemTrayIcon::ActivationReason>("reason");
    QTest::addColumn<bool>("shows");
    QTest::newRow("XEmbed double click") << false << QSystemTrayIcon::DoubleClick << true;
    QTest::newRow("XEmbed single click") << false << QSystemTrayIcon::Trigger << false;
    QTest::newRow("SNI activation") << true << QSystemTrayIcon::Trigger << true;
    QTest::newRow("SNI context menu") << true << QSystemTrayIcon::Context << false;
}

void TestTrayIcon::activationShowsTheWindow()
{
    QFETCH(bool, sni);
    QFETCH(QSystemTrayIcon::ActivationReason, reason);
    QFETCH(bool, shows);
    QtTrayIcon tray(sni ? QtTrayIcon::Host::ReportsActivationOnly : QtTrayIcon::Host::ReportsDoubleClick);
    QSignalSpy doubleClicked(&tray, &QtTrayIcon::doubleClicked);
    tray.replaceTrayIcon(TrayPicture::ImaSOk, QStringLiteral("UPS is on battery"));
    // A replacement wires the new icon like the first one.
    tray.replaceTrayIcon(TrayPicture::ImaMain, QStringLiteral("Brevant"));
    QVERIFY(tray.icon());
    emit tray.icon()->activated(reason);
    QCOMPARE(doubleClicked.count(), shows ? 1 : 0);
    tray.remove();
    QVERIFY(!tray.icon());
}

QTEST_MAIN(TestTrayIcon)
#include "tst_trayicon.moc"
