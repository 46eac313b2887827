#include "platform/linux/LogindPowerOff.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>

namespace brevant {
namespace {

void logFailure(const QDBusPendingCall& call)
{
    if (call.isError())
        qWarning("logind refused to power off: %s: %s", qUtf8Printable(call.error().name()),
                 qUtf8Printable(call.error().message()));
}

} // namespace

LogindPowerOff::LogindPowerOff(const QDBusConnection& bus, std::chrono::milliseconds replyTimeout,
                               QObject* parent)
    : QObject(parent)
    , m_bus(bus)
    , m_replyTimeout(replyTimeout)
{}

void LogindPowerOff::shutDownSystem()
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PowerOff"));
    call << false; // not interactive: nobody is there to answer a password prompt
    const QDBusPendingCall pending = m_bus.asyncCall(call, int(m_replyTimeout.count()));
    if (pending.isFinished()) { // no bus at all: nothing will be delivered
        logFailure(pending);
        return;
    }
    auto* watcher = new QDBusPendingCallWatcher(pending, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [](QDBusPendingCallWatcher* finished) {
        logFailure(*finished);
        finished->deleteLater();
    });
}

} // namespace brevant
