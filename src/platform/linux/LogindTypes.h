#pragma once

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QList>
#include <QMetaType>
#include <QString>

namespace brevant {

// One entry of logind's ListSessions, a(susso).
struct LogindSession
{
    QString id;
    uint uid = 0;
    QString user;
    QString seat;
    QDBusObjectPath path;
};

// One entry of logind's ListInhibitors, a(ssssuu). what is a colon-separated list
// ("shutdown:sleep"), mode "block" or "delay".
struct LogindInhibitor
{
    QString what;
    QString who;
    QString why;
    QString mode;
    uint uid = 0;
    uint pid = 0;
};

QDBusArgument& operator<<(QDBusArgument& out, const LogindSession& session);
const QDBusArgument& operator>>(const QDBusArgument& in, LogindSession& session);
QDBusArgument& operator<<(QDBusArgument& out, const LogindInhibitor& inhibitor);
const QDBusArgument& operator>>(const QDBusArgument& in, LogindInhibitor& inhibitor);

// Makes the lists above known to Qt D-Bus; safe to call more than once.
void registerLogindTypes();

} // namespace brevant

Q_DECLARE_METATYPE(brevant::LogindSession)
Q_DECLARE_METATYPE(brevant::LogindInhibitor)
