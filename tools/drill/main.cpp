#include "DrillRunner.h"
#include "Scenario.h"
#include "config/AppPaths.h"
#include "config/FirstInstall.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
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
                       "virtual time. Nothing is powered off and no program is started."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("scenario"),
                                 QStringLiteral("Scenario file, one command per line."));
    const QCommandLineOption appDir(
        QStringLiteral("app-dir"),
        QStringLiteral("Application directory holding UpsConfigure.ini; databases are "
                       "created there if missing. Default: a temporary directory with "
                       "first-install settings."),
        QStringLiteral("dir"));
    parser.addOption(appDir);
    parser.process(app);

    QTextStream err(stderr);
    if (parser.positionalArguments().size() != 1) {
        err << "usage: brevant-drill SCENARIO [--app-dir DIR]\n";
        return 2;
    }
    const QString scenarioFile = parser.positionalArguments().first();
    QFile file(scenarioFile);
    if (!file.open(QIODevice::ReadOnly)) {
        err << scenarioFile << ": " << file.errorString() << '\n';
        return 2;
    }
    const drill::Scenario scenario = drill::parseScenario(QString::fromUtf8(file.readAll()));
    if (!scenario.errors.isEmpty()) {
        for (const QString& e : scenario.errors)
            err << scenarioFile << ": " << e << '\n';
        return 1;
    }

    QTemporaryDir scratch;
    QString dir = parser.value(appDir);
    if (dir.isEmpty()) {
        dir = scratch.path();
        if (const Result<bool> written = writeFirstInstallSettings(AppPaths(dir)); !written.ok()) {
            err << written.error() << "\n";
            return 2;
        }
    } else if (!QFileInfo(dir).isDir()) {
        err << dir << ": not a directory\n";
        return 2;
    }

    QTextStream out(stdout);
    drill::DrillRunner runner(AppPaths(dir), out);
    runner.run(scenario);
    return 0;
}
