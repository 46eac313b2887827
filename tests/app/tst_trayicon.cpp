#include "platform/qtwidgets/QtTrayIcon.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTest>

using namespace brevant;

// The tray adapter: one icon for the program's life, changed only where a replacement differs; the
// main window is reached on every kind of notification area, and nothing else on the icon has an
// effect.
class TestTrayIcon : public QObject
{
    Q_OBJECT

private slots:
    void repeatedReplacementChangesNothing_data();
    void repeatedReplacementChangesNothing();
    void activationShowsTheWindow_data();
    void activationShowsTheWindow();
};

using Replacement = std::pair<TrayPicture, QString>;
Q_DECLARE_METATYPE(Replacement)

void TestTrayIcon::repeatedReplacementChangesNothing_data()
{
    QTest::addColumn<Replacement>("next");
    QTest::addColumn<bool>("pictureChanges");
    const QString tip = QStringLiteral("Brevant");
    QTest::newRow("same picture, same tip (a lost-link tick)")
        << Replacement{TrayPicture::ImaMain, tip} << false;
    QTest::newRow("same picture, new tip")
        << Replacement{TrayPicture::ImaMain, QStringLiteral("USB link lost")} << false;
    QTest::newRow("new picture, same tip") << Replacement{TrayPicture::ImaSLow, tip} << true;
}

// The engine repeats its replacement on every tick; the notification area must not see the icon
// go and come back (it re-registers it and moves it among the others).
void TestTrayIcon::repeatedReplacementChangesNothing()
{
    QFETCH(Replacement, next);
    QFETCH(bool, pictureChanges);
    QtTrayIcon tray(QtTrayIcon::Host::ReportsDoubleClick);
    tray.replaceTrayIcon(TrayPicture::ImaMain, QStringLiteral("Brevant"));
    const QPointer<QSystemTrayIcon> first = tray.icon();
    const qint64 firstPicture = first->icon().cacheKey();
    for (int tick = 0; tick < 3; ++tick)
        tray.replaceTrayIcon(next.first, next.second);
    QVERIFY2(first, "the icon was destroyed");
    QCOMPARE(tray.icon(), first.data());
    QCOMPARE(first->toolTip(), next.second);
    QCOMPARE(first->icon().cacheKey() != firstPicture, pictureChanges);

    // A host that comes up later gets a new icon showing the same.
    tray.recreateFor(QtTrayIcon::Host::ReportsActivationOnly);
    QVERIFY(!first);
    QCOMPARE(tray.icon()->toolTip(), next.second);
    QVERIFY(!tray.icon()->icon().isNull());
}

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
    QVERIFY(!tray.icon()->isVisible());
}

QTEST_MAIN(TestTrayIcon)
#include "tst_trayicon.moc"
