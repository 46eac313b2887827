#pragma once

#include <QString>

namespace brevant {

// The login name of the user this process runs as; the numeric id when it has no name.
QString currentUserName();

// Whether that user is a member of group, as the group database says now (what polkit checks): a
// user added a minute ago counts, even before logging in again.
bool currentUserInGroup(const QString& group);

// What to do when the user must join the package's group: "Add this user to the group brevant, as
// root: adduser alice brevant".
QString joinGroupAdvice();

} // namespace brevant
