#pragma once

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

// Parses and checks a whole scenario before anything runs: unknown commands and arguments, time
// going backwards, commands after `end` and a missing `end` are errors.
Scenario parseScenario(const QString& text);

} // namespace brevant::drill
