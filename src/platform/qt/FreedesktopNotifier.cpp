#include "platform/qt/FreedesktopNotifier.h"

#include "InstallLayout.h"
#include "base/Logging.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace brevant {
namespace {

constexpr int ReplyTimeoutMs = 5000;
constexpr uchar UrgencyNormal = 1;
constexpr uchar UrgencyCritical = 2;

} // namespace

FreedesktopNotifier::FreedesktopNotifier(const QDBusConnection& bus, QObject* parent)
    : QObject(parent)
    , m_bus(bus)
{}

void FreedesktopNotifier::notify(const Notification& notification)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    const QVariantMap hints{
        {QStringLiteral("urgency"),
         QVariant::fromValue(notification.urgency == Urgency::Critical ? UrgencyCritical : UrgencyNormal)},
        {QStringLiteral("desktop-entry"), QString::fromLatin1(build::AppId)}};
    call << QStringLiteral("Brevant") << m_shownId << QStringLiteral("brevant") << notification.summary
         << notification.body << QStringList() << hints << qint32(-1);
    const QDBusPendingCall pending = m_bus.asyncCall(call, ReplyTimeoutMs);
    auto* watcher = new QDBusPendingCallWatcher(pending, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
        const QDBusPendingReply<quint32> reply = *finished;
        finished->deleteLater();
        if (reply.isError()) {
            if (!m_failureLogged)
                qCWarning(lcPlatform).noquote()
                    << "desktop notification not shown:" << reply.error().name() << reply.error().message();
            m_failureLogged = true;
            return;
        }
        m_failureLogged = false;
        m_shownId = reply.value();
    });
}

} // namespace brevant
