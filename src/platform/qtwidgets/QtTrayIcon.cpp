#include "platform/qtwidgets/QtTrayIcon.h"

#include "art/ArtCatalogue.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>

namespace brevant {

namespace {

constexpr int MaxTipChars = 63;
// The sizes notification areas ask for, and twice the largest for dense screens.
constexpr int IconSizes[] = {16, 22, 32, 64};

QIcon trayIcon(TrayPicture picture)
{
    const QString path = art::trayPicture(trayPictureName(picture));
    QIcon icon;
    for (int size : IconSizes)
        icon.addPixmap(art::pixmap(path, QSize(size, size), 1.0));
    return icon;
}

} // namespace

QtTrayIcon::Host QtTrayIcon::detectHost()
{
    // Qt draws the icon as a StatusNotifierItem when a watcher with a registered host is on the
    // session bus; only then does activation replace the double click.
    const QString watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(watcher))
        return Host::ReportsDoubleClick;
    QDBusInterface properties(watcher, QStringLiteral("/StatusNotifierWatcher"), watcher, bus);
    return properties.property("IsStatusNotifierHostRegistered").toBool() ? Host::ReportsActivationOnly
                                                                          : Host::ReportsDoubleClick;
}

QtTrayIcon::QtTrayIcon(Host host, QObject* parent)
    : QObject(parent)
    , m_host(host)
{}

QtTrayIcon::~QtTrayIcon() = default;

void QtTrayIcon::replaceTrayIcon(TrayPicture picture, const QString& tip)
{
    remove();
    m_icon = std::make_unique<QSystemTrayIcon>(trayIcon(picture));
    m_icon->setToolTip(tip.left(MaxTipChars));
    connect(m_icon.get(), &QSystemTrayIcon::activated, this, &QtTrayIcon::onActivated);
    // Without a notification area the program runs on unseen; the next replacement tries again.
    m_icon->show();
}

void QtTrayIcon::onActivated(QSystemTrayIcon::ActivationReason reason)
{
    const bool activation = reason == QSystemTrayIcon::Trigger && m_host == Host::ReportsActivationOnly;
    if (reason == QSystemTrayIcon::DoubleClick || activation)
        emit doubleClicked();
}

void QtTrayIcon::remove()
{
    if (!m_icon)
        return;
    m_icon->hide();
    m_icon.reset();
}

} // namespace brevant
