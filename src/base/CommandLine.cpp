#include "base/CommandLine.h"

#include "InstallLayout.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTextStream>

namespace brevant {

std::optional<int> parseCommandLine(QCommandLineParser& parser, const QStringList& arguments,
                                    qsizetype maxPositional)
{
    QCoreApplication::setApplicationVersion(QLatin1StringView(build::Version));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const bool parsed = parser.parse(arguments);
    if (parsed && parser.isSet(help))
        parser.showHelp(0);
    if (parsed && parser.isSet(version))
        parser.showVersion();
    QString mistake = parser.errorText();
    if (parsed && parser.positionalArguments().size() > maxPositional)
        mistake =
            QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().value(maxPositional));
    if (mistake.isEmpty())
        return std::nullopt;
    const QString name = QFileInfo(arguments.value(0)).fileName();
    QTextStream(stderr) << name << ": " << mistake << "\nTry '" << name << " --help'.\n";
    return 2;
}

} // namespace brevant
