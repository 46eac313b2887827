// close.exe stand-in, started by the monitor before a shutdown when applications are to be saved.
// Asks the applications named in close.conf (beside the settings file) to quit, lists those that
// did in CloseApp.ini and, last, sets [Schema] ShutDown = 1 so that the monitor goes on. It finds
// these files as the monitor does (AppPaths) and takes no arguments but --help and --version. It
// exits non-zero, saying why on standard error, when it is given arguments (2) or a write fails
// (1); the hand-over is attempted even when the list could not be written.
#include "AppCloser.h"
#include "CloseRecord.h"
#include "base/CommandLine.h"
#include "config/AppPaths.h"

#include <QCoreApplication>
#include <cstdio>

using namespace std::chrono_literals;

namespace {

constexpr int WriteFailed = 1;

void complain(const char* what, const QString& reason)
{
    std::fprintf(stderr, "close.exe: %s: %s\n", what, qPrintable(reason));
}

} // namespace

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
