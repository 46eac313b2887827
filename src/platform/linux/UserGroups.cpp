#include "platform/linux/UserGroups.h"

#include "InstallLayout.h"

#include <QList>
#include <grp.h>
#include <pwd.h>
#include <unistd.h>

namespace brevant {

QString currentUserName()
{
    if (const passwd* user = getpwuid(getuid()))
        return QString::fromLocal8Bit(user->pw_name);
    return QString::number(getuid());
}

bool currentUserInGroup(const QString& groupName)
{
    const struct group* entry = getgrnam(groupName.toLocal8Bit().constData());
    const passwd* user = getpwuid(getuid());
    if (!entry || !user)
        return false;
    const gid_t wanted = entry->gr_gid;
    QList<gid_t> groups(64);
    int count = int(groups.size());
    if (getgrouplist(user->pw_name, user->pw_gid, groups.data(), &count) < 0) {
        groups.resize(count); // count now says how many there are
        if (getgrouplist(user->pw_name, user->pw_gid, groups.data(), &count) < 0)
            return false;
    }
    groups.resize(count);
    return groups.contains(wanted);
}

QString joinGroupAdvice()
{
    return QStringLiteral("Add this user to the group %1, as root: adduser %2 %1")
        .arg(QString::fromLatin1(build::Group), currentUserName());
}

} // namespace brevant
