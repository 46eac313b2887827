// libFuzzer target: a fire-drill scenario as a user may write it. Every command the parser lets
// through must be one the drill can run.
#include "FuzzSupport.h"
#include "Scenario.h"

#include <QRegularExpression>

using namespace brevant;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const drill::Scenario scenario =
        drill::parseScenario(QString::fromUtf8(QByteArrayView(data, qsizetype(size))));
    // "time goes backwards (A s after B s)" must only be said when A is earlier than B.
    static const QRegularExpression backwards(
        QStringLiteral("time goes backwards \\((\\S+) s after (\\S+) s\\)"));
    for (const QString& error : scenario.errors) {
        const auto match = backwards.match(error);
        if (match.hasMatch() && !(match.captured(1).toDouble() < match.captured(2).toDouble()))
            fuzz::invariantBroken("'time goes backwards' for a time that does not");
    }
    if (!scenario.errors.isEmpty())
        return 0;
    if (scenario.commands.isEmpty() || scenario.commands.back().verb != u"end")
        fuzz::invariantBroken("an accepted scenario that does not end with end");
    qint64 time = 0;
    for (const drill::ScenarioCommand& command : scenario.commands) {
        if (command.timeMs < time || command.timeMs < 0)
            fuzz::invariantBroken("an accepted scenario whose time goes backwards");
        time = command.timeMs;
    }
    return 0;
}
