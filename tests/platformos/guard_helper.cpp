// One instance of the program as far as the single-instance guard goes, in a process of its own:
//   platformos_guard_helper <key> <runtime dir>
// prints "primary" and stays up until killed, or knocks and exits with status 1.
#include "platform/qt/SingleInstanceGuard.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (app.arguments().size() != 3)
        return 2;
    brevant::SingleInstanceGuard guard(app.arguments().at(1), app.arguments().at(2));
    if (!guard.tryAcquire())
        return 1;
    std::puts("primary");
    std::fflush(stdout);
    return app.exec();
}
