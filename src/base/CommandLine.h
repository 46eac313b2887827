#pragma once

#include <QCommandLineParser>
#include <QStringList>
#include <optional>

namespace brevant {

// The arguments every Brevant program answers the same way: --help and --version print and end
// the program, and a mistake (an unknown option, more positional arguments than maxPositional)
// is reported on standard error and ends it with exit code 2. The caller adds its own options
// and description first. Returns the exit code when the program is to end now.
std::optional<int> parseCommandLine(QCommandLineParser& parser, const QStringList& arguments,
                                    qsizetype maxPositional = 0);

} // namespace brevant
