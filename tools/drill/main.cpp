#include "DrillFiles.h"
#include "DrillRunner.h"
#include "MachineVerdict.h"
#include "Scenario.h"
#include "base/CommandLine.h"
#include "config/AppPaths.h"
#include "config/FirstInstall.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>

using namespace brevant;

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("brevant-drill"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Fire drill: shows what the monitor would do in an outage, on simulated devices and "
                       "virtual time. Nothing is powered off, no program is started, and the user's own "
                       "settings and records are never written: the drill works on a copy."));
    parser.addPositionalArgument(QStringLiteral("scenario"),
                                 QStringLiteral("Scenario file, one command per line."));
    const QCommandLineOption appDir(
        QStringLiteral("app-dir"),
        QStringLiteral("Drill on a copy of the settings and records in this application directory. "
                       "Default: first-install settings and empty records."),
        QStringLiteral("dir"));
    const QCommandLineOption myFiles(
        QStringLiteral("my-files"),
        QStringLiteral("Drill on a copy of the settings and records the monitor installed beside this "
                       "drill uses (BREVANT_APP_DIR, or the user's XDG directories)."));
    const QCommandLineOption resultDir(
        QStringLiteral("result-dir"),
        QStringLiteral("Leave the copy's final settings and both databases in this directory."),
        QStringLiteral("dir"));
    const QCommandLineOption summary(
        QStringLiteral("summary"),
        QStringLiteral("Tell what would happen, and when, in plain sentences instead of JSON lines, and end "
                       "with whether this computer is protected now, as the monitor would judge it with "
                       "your real settings (read only; the UPS itself is not asked)."));
    parser.addOptions({appDir, myFiles, resultDir, summary});
    if (const std::optional<int> exitCode = parseCommandLine(parser, QCoreApplication::arguments(), 1))
        return *exitCode;

    QTextStream err(stderr);
    if (parser.positionalArguments().size() != 1 || (parser.isSet(appDir) && parser.isSet(myFiles))) {
        err << "usage: brevant-drill SCENARIO [--app-dir DIR | --my-files] [--result-dir OUT] [--summary]\n";
        return 2;
    }
    const QString scenarioFile = parser.positionalArguments().first();
    const Result<QString> text = drill::readScenario(scenarioFile);
    if (!text.ok()) {
        err << scenarioFile << ": " << text.error() << '\n';
        return 2;
    }
    const drill::Scenario scenario = drill::parseScenario(text.value());
    if (!scenario.errors.isEmpty()) {
        for (const QString& e : scenario.errors)
            err << scenarioFile << ": " << e << '\n';
        return 1;
    }

    QTemporaryDir scratch;
    if (!scratch.isValid()) {
        err << "cannot create a temporary directory: " << scratch.errorString() << '\n';
        return 2;
    }
    Status prepared = Status::success();
    AppPaths paths(scratch.path());
    if (parser.isSet(appDir) || parser.isSet(myFiles)) {
        const QString dir = parser.value(appDir);
        if (parser.isSet(appDir) && !QFileInfo(dir).isDir()) {
            err << dir << ": not a directory\n";
            return 2;
        }
        const AppPaths user = parser.isSet(appDir) ? AppPaths(dir) : AppPaths::fromEnvironment();
        paths = user.withFilesIn(scratch.path());
        prepared = drill::copyUserFiles(user, paths);
    } else if (const Result<bool> written = writeFirstInstallSettings(paths); !written.ok()) {
        prepared = Status::failure(written.error());
    }
    if (!prepared.ok()) {
        err << prepared.error() << '\n';
        return 2;
    }

    QTextStream out(stdout);
    drill::JsonLinesReport json(out);
    drill::SummaryReport sentences(out);
    {
        drill::DrillRunner runner(paths,
                                  parser.isSet(summary) ? static_cast<drill::Report&>(sentences) : json);
        runner.run(scenario);
    }
    if (parser.isSet(summary))
        out << drill::machineVerdict(paths) << '\n';
    if (parser.isSet(resultDir)) {
        if (const Status kept = drill::keepResults(paths, parser.value(resultDir)); !kept.ok()) {
            err << kept.error() << '\n';
            return 1;
        }
    }
    return 0;
}
