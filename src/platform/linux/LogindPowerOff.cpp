#include "platform/linux/LogindPowerOff.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace brevant {
namespace {

Status failureOf(const QDBusError& error)
{
    return Status::failure(QStringLiteral("logind: %1: %2").arg(error.name(), error.message()));
}

} // namespace

LogindPowerOff::LogindPowerOff(const QDBusConnection& bus, std::chrono::milliseconds replyTimeout,
                               QObject* parent)
    : QObject(parent)
    , m_bus(bus)
    , m_replyTimeout(replyTimeout)
{}

void LogindPowerOff::checkAllowed(Answer answer)
{
    call(
        QStringLiteral("CanPowerOff"), {},
        [](const QDBusMessage& reply) {
            const QString verdict = reply.arguments().value(0).toString();
            if (verdict == u"yes")
                return Status::success();
            // "challenge": only with a password nobody is there to type; "no", "na": never.
            return Status::failure(
                QStringLiteral(
                    "logind answers \"%1\" to CanPowerOff: this user may not power the machine off")
                    .arg(verdict));
        },
        std::move(answer));
}

void LogindPowerOff::shutDownSystem(Answer answer)
{
    // Not interactive: nobody is there to answer a password prompt.
    call(
        QStringLiteral("PowerOff"), {false}, [](const QDBusMessage&) { return Status::success(); },
        std::move(answer));
}

void LogindPowerOff::call(const QString& method, const QVariantList& arguments,
                          std::function<Status(const QDBusMessage&)> interpret, Answer answer)
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), method);
    message.setArguments(arguments);
    const QDBusPendingCall pending = m_bus.asyncCall(message, int(m_replyTimeout.count()));
    auto* watcher = new QDBusPendingCallWatcher(pending, this);
    auto finish = [interpret = std::move(interpret),
                   answer = std::move(answer)](QDBusPendingCallWatcher* done) {
        done->deleteLater();
        answer(done->isError() ? failureOf(done->error()) : interpret(done->reply()));
    };
    if (pending.isFinished()) // no bus at all: nothing will be delivered, answer from the event loop
        QMetaObject::invokeMethod(
            this, [watcher, finish] { finish(watcher); }, Qt::QueuedConnection);
    else
        connect(watcher, &QDBusPendingCallWatcher::finished, this, finish);
}

} // namespace brevant
