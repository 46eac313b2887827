#pragma once

#include "platform/linux/LogindTypes.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QObject>

// logind's Manager object as far as powering off goes: answers CanPowerOff as told ("" never
// answers), lists the sessions and inhibitors it is given, and records every PowerOff. Export it
// on a private bus at /org/freedesktop/login1 (call brevant::registerLogindTypes() first).
class FakeLogind : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    QString canPowerOff;
    bool answerPowerOff = true;
    QList<bool> powerOffCalls;
    QList<brevant::LogindSession> sessions;
    QList<brevant::LogindInhibitor> inhibitors;

public slots:
    QString CanPowerOff()
    {
        setDelayedReply(canPowerOff.isEmpty());
        return canPowerOff;
    }
    void PowerOff(bool interactive)
    {
        powerOffCalls.append(interactive);
        setDelayedReply(!answerPowerOff);
    }
    QList<brevant::LogindSession> ListSessions() { return sessions; }
    QList<brevant::LogindInhibitor> ListInhibitors() { return inhibitors; }
};

// The caller's session (/org/freedesktop/login1/session/auto): whether it is the active one.
class FakeLogindSession : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Session")
    Q_PROPERTY(bool Active MEMBER active)
public:
    bool active = false;
};

// polkit's authority (/org/freedesktop/PolicyKit1/Authority): CheckAuthorization answers as told
// and records "action|flags|subject", where the subject reads "self" when it names the caller's
// own bus connection, as logind's check of the caller's PowerOff will.
class FakePolkit : public QDBusVirtualObject
{
public:
    bool authorize = false;
    bool answer = true; // false: the password window stays open
    QStringList checks;
    QStringList cancelled; // "the check's cancellation id | the cancelled one"

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        if (message.member() == u"CancelCheckAuthorization") {
            cancelled << m_lastId + u'|' + message.arguments().value(0).toString();
            return true;
        }
        if (message.member() != u"CheckAuthorization" || message.arguments().size() != 5)
            return false;
        m_lastId = message.arguments().at(4).toString();
        const QDBusArgument subject = message.arguments().at(0).value<QDBusArgument>();
        QString kind;
        QVariantMap details;
        subject.beginStructure();
        subject >> kind >> details;
        subject.endStructure();
        const bool self =
            kind == u"system-bus-name" && details.value(QStringLiteral("name")) == message.service();
        checks << QStringList{message.arguments().at(1).toString(), message.arguments().at(3).toString(),
                              self ? QStringLiteral("self") : kind}
                      .join(u'|');
        QDBusArgument result;
        result.beginStructure();
        result << authorize << !authorize << QMap<QString, QString>();
        result.endStructure();
        return !answer || connection.send(message.createReply(QVariant::fromValue(result)));
    }

private:
    QString m_lastId;
};
