#include "platform/linux/LogindTypes.h"

#include <QDBusMetaType>

namespace brevant {

QDBusArgument& operator<<(QDBusArgument& out, const LogindSession& session)
{
    out.beginStructure();
    out << session.id << session.uid << session.user << session.seat << session.path;
    out.endStructure();
    return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, LogindSession& session)
{
    in.beginStructure();
    in >> session.id >> session.uid >> session.user >> session.seat >> session.path;
    in.endStructure();
    return in;
}

QDBusArgument& operator<<(QDBusArgument& out, const LogindInhibitor& inhibitor)
{
    out.beginStructure();
    out << inhibitor.what << inhibitor.who << inhibitor.why << inhibitor.mode << inhibitor.uid
        << inhibitor.pid;
    out.endStructure();
    return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, LogindInhibitor& inhibitor)
{
    in.beginStructure();
    in >> inhibitor.what >> inhibitor.who >> inhibitor.why >> inhibitor.mode >> inhibitor.uid >>
        inhibitor.pid;
    in.endStructure();
    return in;
}

void registerLogindTypes()
{
    qDBusRegisterMetaType<LogindSession>();
    qDBusRegisterMetaType<QList<LogindSession>>();
    qDBusRegisterMetaType<LogindInhibitor>();
    qDBusRegisterMetaType<QList<LogindInhibitor>>();
    qDBusRegisterMetaType<QMap<QString, QString>>();
}

} // namespace brevant
