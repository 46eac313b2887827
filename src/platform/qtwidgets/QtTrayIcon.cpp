#include "platform/qtwidgets/QtTrayIcon.h"

#include "art/ArtCatalogue.h"
#include "base/Logging.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QPainter>
#include <QTimer>
#include <algorithm>

namespace brevant {

namespace {

constexpr int MaxTipChars = 63;
// The sizes notification areas ask for, and twice the largest for dense screens.
constexpr int IconSizes[] = {16, 22, 32, 64};

QIcon trayIcon(TrayPicture picture, bool marked)
{
    const QString path = art::trayPicture(trayPictureName(picture));
    QIcon icon;
    for (int size : IconSizes) {
        QPixmap pixmap = art::pixmap(path, QSize(size, size), 1.0);
        if (marked) {
            // A warning triangle in the lower right corner, large enough to see at 16 pixels.
            QPainter painter(&pixmap);
            painter.setRenderHint(QPainter::Antialiasing);
            const qreal side = size * 0.6;
            const QRectF box(size - side, size - side, side, side);
            const QPolygonF triangle{{box.center().x(), box.top()}, box.bottomRight(), box.bottomLeft()};
            painter.setPen(QPen(QColor(0x60, 0x30, 0x00), std::max(1.0, size / 16.0)));
            painter.setBrush(QColor(0xFF, 0xB0, 0x00));
            painter.drawPolygon(triangle);
            painter.setPen(QPen(Qt::black, std::max(1.0, side / 7.0), Qt::SolidLine, Qt::RoundCap));
            const qreal x = box.center().x();
            painter.drawLine(QPointF(x, box.top() + side * 0.35), QPointF(x, box.top() + side * 0.68));
            painter.drawPoint(QPointF(x, box.top() + side * 0.84));
        }
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace

const QString QtTrayIcon::WatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");

QtTrayIcon::QtTrayIcon(Host host, QObject* parent)
    : QObject(parent)
    , m_host(host)
{}

QtTrayIcon::~QtTrayIcon() = default;

const QIcon& QtTrayIcon::pictureIcon(TrayPicture picture)
{
    QIcon& icon = m_pictures.at(std::size_t(picture));
    if (icon.isNull())
        icon = trayIcon(picture, false);
    return icon;
}

const QIcon& QtTrayIcon::shownIcon(TrayPicture picture)
{
    if (m_warning.isEmpty())
        return pictureIcon(picture);
    QIcon& icon = m_markedPictures.at(std::size_t(picture));
    if (icon.isNull())
        icon = trayIcon(picture, true);
    return icon;
}

QString QtTrayIcon::shownTip() const
{
    return m_warning.isEmpty() ? m_tip : m_tip + u'\n' + m_warning;
}

void QtTrayIcon::setWarning(const QString& warning)
{
    if (m_warning == warning)
        return;
    m_warning = warning;
    if (!m_icon)
        return;
    if (m_picture)
        m_icon->setIcon(shownIcon(*m_picture));
    m_icon->setToolTip(shownTip());
}

void QtTrayIcon::waitForNotificationArea(int ms, const QDBusConnection& bus)
{
    m_waiting = true;
    m_bus = bus;
    if (!m_bus.isConnected()) { // no session bus, no StatusNotifierItem host to wait for
        endWait();
        return;
    }
    auto* services =
        new QDBusServiceWatcher(WatcherService, m_bus, QDBusServiceWatcher::WatchForRegistration, this);
    connect(services, &QDBusServiceWatcher::serviceRegistered, this, &QtTrayIcon::askForHost);
    m_bus.connect(WatcherService, QStringLiteral("/StatusNotifierWatcher"), WatcherService,
                  QStringLiteral("StatusNotifierHostRegistered"), this, SLOT(askForHost()));
    QTimer::singleShot(ms, this, [this] {
        if (m_waiting)
            endWait();
    });
    askForHost();
}

void QtTrayIcon::askForHost()
{
    // Asynchronous: a hung watcher must not hold up the window thread.
    QDBusMessage get = QDBusMessage::createMethodCall(
        WatcherService, QStringLiteral("/StatusNotifierWatcher"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << WatcherService << QStringLiteral("IsStatusNotifierHostRegistered");
    auto* reply = new QDBusPendingCallWatcher(m_bus.asyncCall(get, 5000), this);
    connect(reply, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        const QDBusPendingReply<QDBusVariant> hostRegistered = *call;
        if (hostRegistered.isError() || !hostRegistered.value().variant().toBool() ||
            m_host == Host::ReportsActivationOnly)
            return;
        if (m_waiting) {
            m_host = Host::ReportsActivationOnly;
            endWait();
            return;
        }
        qCInfo(lcPlatform)
            << "a StatusNotifierItem host came up after the start: the tray icon is made again";
        recreateFor(Host::ReportsActivationOnly);
    });
}

void QtTrayIcon::endWait()
{
    m_waiting = false;
    if (m_shown)
        recreateFor(m_host);
    emit waitEnded(m_host == Host::ReportsActivationOnly || QSystemTrayIcon::isSystemTrayAvailable());
}

void QtTrayIcon::replaceTrayIcon(TrayPicture picture, const QString& tip)
{
    m_shown = true;
    const QString shortTip = tip.left(MaxTipChars);
    if (m_waiting || !m_icon) {
        // Remembered for the icon made when the wait ends.
        m_picture = picture;
        m_tip = shortTip;
        if (!m_waiting)
            recreateFor(m_host);
        return;
    }
    if (m_picture != picture) {
        m_icon->setIcon(shownIcon(picture));
        m_picture = picture;
    }
    if (m_tip != shortTip) {
        m_tip = shortTip;
        m_icon->setToolTip(shownTip());
    }
    // Without a notification area the icon waits unseen; Qt shows it when an XEmbed area appears.
    if (!m_icon->isVisible())
        m_icon->show();
}

void QtTrayIcon::recreateFor(Host host)
{
    m_host = host;
    if (m_waiting)
        return;
    m_icon.reset();
    m_icon = std::make_unique<QSystemTrayIcon>();
    connect(m_icon.get(), &QSystemTrayIcon::activated, this, &QtTrayIcon::onActivated);
    m_icon->setToolTip(shownTip());
    if (m_picture)
        m_icon->setIcon(shownIcon(*m_picture));
    if (m_shown)
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
    m_shown = false;
    if (m_icon)
        m_icon->hide();
}

} // namespace brevant
