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

const QIcon& QtTrayIcon::pictureIcon(TrayPicture picture)
{
    QIcon& icon = m_pictures.at(std::size_t(picture));
    if (icon.isNull())
        icon = trayIcon(picture);
    return icon;
}

void QtTrayIcon::makeIcon()
{
    m_icon = std::make_unique<QSystemTrayIcon>();
    connect(m_icon.get(), &QSystemTrayIcon::activated, this, &QtTrayIcon::onActivated);
}

void QtTrayIcon::replaceTrayIcon(TrayPicture picture, const QString& tip)
{
    if (!m_icon)
        makeIcon();
    if (m_picture != picture) {
        m_icon->setIcon(pictureIcon(picture));
        m_picture = picture;
    }
    if (const QString shortTip = tip.left(MaxTipChars); m_icon->toolTip() != shortTip)
        m_icon->setToolTip(shortTip);
    // Without a notification area the icon waits unseen; Qt shows it when an XEmbed area appears.
    if (!m_icon->isVisible())
        m_icon->show();
}

void QtTrayIcon::recreateFor(Host host)
{
    m_host = host;
    if (!m_icon)
        return; // the first replacement makes it for the new host
    const bool visible = m_icon->isVisible();
    const QString tip = m_icon->toolTip();
    m_icon.reset();
    makeIcon();
    m_icon->setToolTip(tip);
    if (m_picture)
        m_icon->setIcon(pictureIcon(*m_picture));
    if (visible)
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
    if (m_icon)
        m_icon->hide();
}

} // namespace brevant
