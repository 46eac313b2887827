// close.exe stand-in, started by the monitor before a shutdown when applications are to be saved.
// Asks the applications named in close.conf (beside the settings file) to quit, lists those that
// did in CloseApp.ini and, last, sets [Schema] ShutDown = 1 so that the monitor goes on. It takes no
// arguments; BREVANT_APP_DIR names the application directory as it does for the monitor. It exits
// non-zero, saying why on standard error, when it is given arguments or a write fails; the
// hand-over is attempted even when the list could not be written.
#include "AppCloser.h"
#include "CloseRecord.h"
#include "config/AppPaths.h"

#include <QCoreApplication>
#include <cstdio>

using namespace std::chrono_literals;

namespace {

constexpr int WriteFailed = 1;
constexpr int Misused = 2;

void complain(const char* what, const QString& reason)
{
    std::fprintf(stderr, "close.exe: %s: %s\n", what, qPrintable(reason));
}

} // namespace

int main(int argc, char* argv[])
{
    const QCoreApplication app(argc, argv);
    if (argc > 1) {
        complain("takes no arguments, was given", QCoreApplication::arguments().mid(1).join(u' '));
        return Misused;
    }
    const brevant::AppPaths paths = brevant::AppPaths::fromEnvironment();
    const QStringList names = closestandin::readCloseList(paths.appDir() + QStringLiteral("/close.conf"));
    const brevant::Status listed =
        closestandin::recordClosedApps(paths, closestandin::closeApplications(names, 10s));
    if (!listed.ok())
        complain("the list of closed applications was not written", listed.error());
    const brevant::Status handedOver = closestandin::requestShutdown(paths);
    if (!handedOver.ok()) {
        complain("the shutdown hand-over was not written", handedOver.error());
        return WriteFailed;
    }
    return listed.ok() ? 0 : WriteFailed;
}
