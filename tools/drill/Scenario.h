#pragma once

#include "base/Result.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace brevant::drill {

// One line of a fire-drill scenario: "<seconds> <command> [arguments]".
struct ScenarioCommand
{
    int line = 0;
    qint64 timeMs = 0;
    QString verb;      // usb, serial, set, press, end
    QStringList args;  // the words after the verb
    QString valueText; // for set: the rest of the line after section and key
};

struct Scenario
{
    QList<ScenarioCommand> commands;
    QStringList errors; // "line N: ..." for every line that cannot be run
};

// A scenario is a short text file: anything larger (an endless /dev/zero, a log file given by
// mistake) is refused before it fills the memory, and so is a longer line.
inline constexpr qint64 ScenarioMaxBytes = 1 << 20;
inline constexpr qsizetype ScenarioMaxLineChars = 1000;

// The scenario file's text, read at most ScenarioMaxBytes + 1 bytes far.
Result<QString> readScenario(const QString& fileName);

// Parses and checks a whole scenario before anything runs: unknown commands and arguments, time
// going backwards, commands after `end`, a missing `end` and lines longer than
// ScenarioMaxLineChars are errors.
Scenario parseScenario(const QString& text);

} // namespace brevant::drill
