#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <chrono>

namespace closestandin {

struct ClosedApp
{
    QString name;
    QString commandLine;
    QDateTime closedAt;
};

// Names of the applications to close: one program name a line in close.conf, '#' comments.
QStringList readCloseList(const QString& confFile);

// Sends SIGTERM to every process of this user whose program name (the last part of its argv[0])
// is listed, never to this process or its parent, and waits up to the grace time for them to end.
// Returns the ones that ended: an application that saves its work on SIGTERM has done so then.
QList<ClosedApp> closeApplications(const QStringList& names, std::chrono::milliseconds grace);

} // namespace closestandin
