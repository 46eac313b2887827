// close.exe stand-in, started by the monitor before a shutdown when applications are to be saved.
// Asks the applications named in close.conf (beside the settings file) to quit, lists those that
// did in CloseApp.ini and, last, sets [Schema] ShutDown = 1 so that the monitor goes on. It finds
// these files as the monitor does (AppPaths), and takes no arguments but --help and --version.
#include "AppCloser.h"
#include "CloseRecord.h"
#include "base/CommandLine.h"
#include "config/AppPaths.h"

#include <QCoreApplication>

using namespace std::chrono_literals;

int main(int argc, char* argv[])
{
    const QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Started by Brevant before a shutdown: asks the applications named in close.conf to "
                       "quit, lists them in CloseApp.ini and tells the monitor to go on with the shutdown. "
                       "Takes no arguments; BREVANT_APP_DIR names the application directory as it does for "
                       "the monitor."));
    if (const std::optional<int> exitCode = brevant::parseCommandLine(parser, QCoreApplication::arguments()))
        return *exitCode;

    const brevant::AppPaths paths = brevant::AppPaths::fromEnvironment();
    const QStringList names = closestandin::readCloseList(paths.closeConfig());
    closestandin::recordClosedApps(paths, closestandin::closeApplications(names, 10s));
    closestandin::requestShutdown(paths);
    return 0;
}
