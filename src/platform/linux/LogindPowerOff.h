#pragma once

#include "platform/SystemPowerOff.h"

#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <chrono>

class QDBusMessage;

namespace brevant {

// Powers the machine off through logind (org.freedesktop.login1.Manager). CanPowerOff tells
// whether this user may; ListSessions, ListInhibitors and this session's Active property tell why
// not. Calls are sent without waiting; an answer that does not come within replyTimeout counts
// as a refusal.
//
// When logind answers "challenge" (a password is needed: other users are logged in, or a program
// blocks shutdown) and this session is the active one, a person may be at the desk: checkAllowed
// then asks polkit, with the desktop's password window, for the very rights logind will check,
// before the UPS is switched off; once given, PowerOff is asked with interactive = true. Nobody
// there, or no active session: the power-off is refused, as the system refuses it.
class LogindPowerOff : public QObject, public SystemPowerOff
{
    Q_OBJECT
public:
    // bus is the system bus in the program; tests hand in a private bus.
    explicit LogindPowerOff(const QDBusConnection& bus,
                            std::chrono::milliseconds replyTimeout = std::chrono::seconds(5),
                            QObject* parent = nullptr);

    void checkAllowed(Answer answer) override;
    void shutDownSystem(Answer answer) override;
    void checkReadiness(ReadinessAnswer answer) override;

    // Whether this user is in the group the package's polkit rule names; tests set it.
    void setInPowerOffGroup(std::function<bool()> inGroup) { m_inGroup = std::move(inGroup); }
    // How long a person at the desk has to type the password (2 minutes).
    void setPasswordTimeout(std::chrono::milliseconds timeout) { m_passwordTimeout = timeout; }

private:
    // What logind says about powering off now.
    struct Facts
    {
        QString canPowerOff; // empty when logind did not answer
        QString error;       // why it did not
        QStringList otherUsers;
        QStringList blockers; // "who (why)" of every block inhibitor on shutdown of another user
        bool sessionActive = false;
    };
    using FactsAnswer = std::function<void(const Facts&)>;
    using Reply = std::function<void(const QDBusMessage&)>; // the reply, or an error message

    void gatherFacts(FactsAnswer answer);
    PowerOffReadiness judge(const Facts& facts) const;
    void authorize(QStringList actions, QString refusal, Answer answer);
    void send(const QDBusMessage& message, std::chrono::milliseconds timeout, Reply reply);
    QDBusMessage managerCall(const QString& method) const;

    QDBusConnection m_bus;
    std::chrono::milliseconds m_replyTimeout;
    std::chrono::milliseconds m_passwordTimeout = std::chrono::minutes(2);
    std::function<bool()> m_inGroup;
    bool m_passwordGiven = false; // the last checkAllowed had a person confirm at the desk
    int m_authorizations = 0;
};

} // namespace brevant
