// One instance of the program as far as the single-instance guard goes, in a process of its own:
//   platformos_guard_helper <key> <runtime dir> [guarded folder...]
// prints "primary" and stays up until killed, or ends with status 1 (another instance runs).
#include "platform/qt/SingleInstanceGuard.h"

#include <QCoreApplication>
#include <QDir>
#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() < 3)
        return 2;
    brevant::SingleInstanceGuard guard(arguments.at(1), arguments.at(2));
    for (const QString& folder : arguments.mid(3))
        QDir().mkpath(folder);
    guard.guardFolders(arguments.mid(3));
    if (!guard.tryAcquire())
        return 1;
    std::puts("primary");
    std::fflush(stdout);
    return app.exec();
}
