#include "platform/qtwidgets/QtTrayIcon.h"

#include <QSignalSpy>
#include <QTest>

using namespace brevant;

Q_DECLARE_METATYPE(brevant::QtTrayIcon::Host)

// The tray adapter: the main window is reached on every kind of notification area, and nothing
// else on the icon has an effect.
class TestTrayIcon : public QObject
{
    Q_OBJECT

private slots:
    void activationShowsTheWindow_data();
    void activationShowsTheWindow();
    void picturesForEveryTraySize();
};

void TestTrayIcon::activationShowsTheWindow_data()
{
    using Host = QtTrayIcon::Host;
    QTest::addColumn<Host>("host");
    QTest::addColumn<QSystemTrayIcon::ActivationReason>("reason");
    QTest::addColumn<bool>("shows");
    QTest::newRow("XEmbed double click") << Host::ReportsDoubleClick << QSystemTrayIcon::DoubleClick << true;
    QTest::newRow("XEmbed single click") << Host::ReportsDoubleClick << QSystemTrayIcon::Trigger << false;
    QTest::newRow("SNI activation") << Host::ReportsActivationOnly << QSystemTrayIcon::Trigger << true;
    QTest::newRow("SNI context menu") << Host::ReportsActivationOnly << QSystemTrayIcon::Context << false;
}

void TestTrayIcon::activationShowsTheWindow()
{
    QFETCH(QtTrayIcon::Host, host);
    QFETCH(QSystemTrayIcon::ActivationReason, reason);
    QFETCH(bool, shows);
    QtTrayIcon tray(host);
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

void TestTrayIcon::picturesForEveryTraySize()
{
    QtTrayIcon tray(QtTrayIcon::Host::ReportsDoubleClick);
    for (TrayPicture picture : {TrayPicture::ImaMain, TrayPicture::ImaSOk, TrayPicture::ImaSLow}) {
        tray.replaceTrayIcon(picture, QStringLiteral("tip"));
        const QList<QSize> sizes = tray.icon()->icon().availableSizes();
        for (int side : {16, 22, 32})
            QVERIFY2(sizes.contains(QSize(side, side)), qPrintable(trayPictureName(picture)));
        // Drawn, not blank.
        const QImage small = tray.icon()->icon().pixmap(16, 16).toImage();
        int opaque = 0;
        for (int y = 0; y < small.height(); ++y)
            for (int x = 0; x < small.width(); ++x)
                opaque += qAlpha(small.pixel(x, y)) > 0;
        QVERIFY(opaque > 16 * 16 / 4);
    }
    QCOMPARE(tray.icon()->toolTip(), QStringLiteral("tip"));
}

QTEST_MAIN(TestTrayIcon)
#include "tst_trayicon.moc"
