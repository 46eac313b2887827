#include "platform/linux/LogindPowerOff.h"

#include "InstallLayout.h"
#include "platform/linux/LogindTypes.h"
#include "platform/linux/UserGroups.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <memory>
#include <unistd.h>

namespace brevant {
namespace {

const QString logindService = QStringLiteral("org.freedesktop.login1");
const QString polkitService = QStringLiteral("org.freedesktop.PolicyKit1");

bool isError(const QDBusMessage& reply)
{
    return reply.type() == QDBusMessage::ErrorMessage;
}

QString errorText(const QDBusMessage& reply)
{
    return QStringLiteral("%1: %2").arg(reply.errorName(), reply.errorMessage());
}

template <typename T>
QList<T> listIn(const QDBusMessage& reply)
{
    if (isError(reply) || reply.arguments().isEmpty())
        return {};
    return qdbus_cast<QList<T>>(reply.arguments().constFirst());
}

// polkit's name for this connection's process: what logind names when it checks our PowerOff.
QDBusArgument subjectOf(const QDBusConnection& bus)
{
    QDBusArgument subject;
    subject.beginStructure();
    subject << QStringLiteral("system-bus-name")
            << QVariantMap{{QStringLiteral("name"), QVariant::fromValue(bus.baseService())}};
    subject.endStructure();
    return subject;
}

} // namespace

LogindPowerOff::LogindPowerOff(const QDBusConnection& bus, std::chrono::milliseconds replyTimeout,
                               QObject* parent)
    : QObject(parent)
    , m_bus(bus)
    , m_replyTimeout(replyTimeout)
    , m_inGroup([] { return currentUserInGroup(QString::fromLatin1(build::Group)); })
{
    registerLogindTypes();
}

void LogindPowerOff::checkReadiness(ReadinessAnswer answer)
{
    gatherFacts([this, answer = std::move(answer)](const Facts& facts) { answer(judge(facts)); });
}

void LogindPowerOff::checkAllowed(Answer answer)
{
    m_passwordGiven = false;
    gatherFacts([this, answer = std::move(answer)](const Facts& facts) {
        if (facts.canPowerOff == u"yes")
            return answer(Status::success());
        const QString refusal = judge(facts).reason;
        if (facts.canPowerOff != u"challenge" || !facts.sessionActive)
            return answer(Status::failure(refusal));
        // The rights logind checks, in its order: past other users' sessions, past inhibitors,
        // and the plain power-off when neither is in the way.
        QStringList actions;
        if (!facts.otherUsers.isEmpty())
            actions << QStringLiteral("org.freedesktop.login1.power-off-multiple-sessions");
        if (!facts.blockers.isEmpty())
            actions << QStringLiteral("org.freedesktop.login1.power-off-ignore-inhibit");
        if (actions.isEmpty())
            actions << QStringLiteral("org.freedesktop.login1.power-off");
        authorize(actions, refusal, answer);
    });
}

void LogindPowerOff::shutDownSystem(Answer answer)
{
    // Interactive only when a person at the desk has just given the password: nobody else is
    // there to answer a password window.
    const bool interactive = m_passwordGiven;
    QDBusMessage message = managerCall(QStringLiteral("PowerOff"));
    message.setArguments({interactive});
    send(message, interactive ? m_passwordTimeout : m_replyTimeout,
         [answer = std::move(answer)](const QDBusMessage& reply) {
             answer(isError(reply) ? Status::failure(QStringLiteral("logind: ") + errorText(reply))
                                   : Status::success());
         });
}

void LogindPowerOff::gatherFacts(FactsAnswer answer)
{
    struct Gathering
    {
        Facts facts;
        int pending = 4;
        FactsAnswer answer;
        void oneIn()
        {
            if (--pending == 0)
                answer(facts);
        }
    };
    auto gathering = std::make_shared<Gathering>();
    gathering->answer = std::move(answer);
    const uint uid = getuid();

    send(managerCall(QStringLiteral("CanPowerOff")), m_replyTimeout, [gathering](const QDBusMessage& reply) {
        if (isError(reply))
            gathering->facts.error = errorText(reply);
        else
            gathering->facts.canPowerOff = reply.arguments().value(0).toString();
        gathering->oneIn();
    });
    // logind counts only other users' sessions and inhibitors against a power-off.
    send(managerCall(QStringLiteral("ListSessions")), m_replyTimeout,
         [gathering, uid](const QDBusMessage& reply) {
             for (const LogindSession& session : listIn<LogindSession>(reply))
                 if (session.uid != uid && !gathering->facts.otherUsers.contains(session.user))
                     gathering->facts.otherUsers << session.user;
             gathering->oneIn();
         });
    send(managerCall(QStringLiteral("ListInhibitors")), m_replyTimeout,
         [gathering, uid](const QDBusMessage& reply) {
             for (const LogindInhibitor& inhibitor : listIn<LogindInhibitor>(reply))
                 if (inhibitor.uid != uid && inhibitor.mode == u"block" &&
                     inhibitor.what.split(u':').contains(u"shutdown"))
                     gathering->facts.blockers << QStringLiteral("%1 (%2)").arg(inhibitor.who, inhibitor.why);
             gathering->oneIn();
         });
    // "auto": the session of this process, or else its user's graphical session.
    QDBusMessage active = QDBusMessage::createMethodCall(
        logindService, QStringLiteral("/org/freedesktop/login1/session/auto"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    active.setArguments({QStringLiteral("org.freedesktop.login1.Session"), QStringLiteral("Active")});
    send(active, m_replyTimeout, [gathering](const QDBusMessage& reply) {
        gathering->facts.sessionActive =
            !isError(reply) && qvariant_cast<QDBusVariant>(reply.arguments().value(0)).variant().toBool();
        gathering->oneIn();
    });
}

PowerOffReadiness LogindPowerOff::judge(const Facts& facts) const
{
    const QString said = QStringLiteral(" (logind answers \"%1\" to CanPowerOff)").arg(facts.canPowerOff);
    const QString group = QString::fromLatin1(build::Group);
    const QString groupRemedy =
        m_inGroup()
            ? QStringLiteral("This user is in the group %1, but the package's polkit rule (%2) is not "
                             "in force: reinstall the brevant package")
                  .arg(QString::fromLatin1(build::Group), QString::fromLatin1(build::PolkitRule))
            : joinGroupAdvice();
    if (facts.canPowerOff.isEmpty())
        return PowerOffReadiness::no(
            QStringLiteral("logind does not answer whether this user may power off (%1)").arg(facts.error),
            QStringLiteral("Check that systemd-logind runs: systemctl status "
                           "systemd-logind"));
    if (facts.canPowerOff == u"yes")
        return PowerOffReadiness::yes();
    if (facts.canPowerOff == u"na")
        return PowerOffReadiness::no(
            QStringLiteral("this system cannot be powered off by a program") + said,
            QStringLiteral("Set BREVANT_SHUTDOWN_COMMAND to a program that shuts this machine down"));
    if (facts.canPowerOff != u"challenge")
        return PowerOffReadiness::no(QStringLiteral("this user may not power the system off") + said,
                                     groupRemedy);
    QStringList causes;
    if (!facts.otherUsers.isEmpty())
        causes << QStringLiteral("while other users are logged in (%1)").arg(facts.otherUsers.join(u", "));
    if (!facts.blockers.isEmpty())
        causes << QStringLiteral("past a program that blocks shutdown (%1)").arg(facts.blockers.join(u", "));
    QString reason = QStringLiteral("powering off needs a password");
    if (!causes.isEmpty())
        reason += u' ' + causes.join(QStringLiteral(" and "));
    return PowerOffReadiness::no(reason + said,
                                 groupRemedy + (facts.sessionActive
                                                    ? QStringLiteral("; until then only a person at this "
                                                                     "desk who types the password can let it")
                                                    : QString()));
}

void LogindPowerOff::authorize(QStringList actions, QString refusal, Answer answer)
{
    if (actions.isEmpty()) {
        m_passwordGiven = true;
        return answer(Status::success());
    }
    const QString action = actions.takeFirst();
    const auto authorityCall = [](const QString& method) {
        return QDBusMessage::createMethodCall(polkitService,
                                              QStringLiteral("/org/freedesktop/PolicyKit1/Authority"),
                                              QStringLiteral("org.freedesktop.PolicyKit1.Authority"), method);
    };
    QDBusMessage message = authorityCall(QStringLiteral("CheckAuthorization"));
    constexpr uint allowUserInteraction = 1;
    const QString cancellation = QStringLiteral("brevant-power-off-%1").arg(++m_authorizations);
    message.setArguments({QVariant::fromValue(subjectOf(m_bus)), action,
                          QVariant::fromValue(QMap<QString, QString>()), allowUserInteraction, cancellation});
    send(message, m_passwordTimeout,
         [this, action, actions = std::move(actions), refusal = std::move(refusal),
          answer = std::move(answer), cancellation, authorityCall](const QDBusMessage& reply) mutable {
             // Nobody answered in time: close the password window, so that the next attempt does not
             // stack a second one over it.
             if (isError(reply)) {
                 QDBusMessage cancel = authorityCall(QStringLiteral("CancelCheckAuthorization"));
                 cancel.setArguments({cancellation});
                 m_bus.send(cancel);
             }
             // (bba{ss}): authorized, challenge, details.
             bool authorized = false;
             if (!isError(reply) && !reply.arguments().isEmpty()) {
                 const QDBusArgument result = reply.arguments().constFirst().value<QDBusArgument>();
                 result.beginStructure();
                 result >> authorized;
             }
             if (!authorized)
                 return answer(Status::failure(
                     refusal + QStringLiteral(", and nobody gave the password at this desk (%1)")
                                   .arg(isError(reply) ? errorText(reply) : action)));
             authorize(std::move(actions), std::move(refusal), std::move(answer));
         });
}

QDBusMessage LogindPowerOff::managerCall(const QString& method) const
{
    return QDBusMessage::createMethodCall(logindService, QStringLiteral("/org/freedesktop/login1"),
                                          QStringLiteral("org.freedesktop.login1.Manager"), method);
}

void LogindPowerOff::send(const QDBusMessage& message, std::chrono::milliseconds timeout, Reply reply)
{
    const QDBusPendingCall pending = m_bus.asyncCall(message, int(timeout.count()));
    auto* watcher = new QDBusPendingCallWatcher(pending, this);
    auto finish = [reply = std::move(reply)](QDBusPendingCallWatcher* done) {
        done->deleteLater();
        reply(done->reply());
    };
    if (pending.isFinished()) // no bus at all: nothing will be delivered, answer from the event loop
        QMetaObject::invokeMethod(
            this, [watcher, finish] { finish(watcher); }, Qt::QueuedConnection);
    else
        connect(watcher, &QDBusPendingCallWatcher::finished, this, finish);
}

} // namespace brevant
