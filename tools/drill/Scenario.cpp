#include "Scenario.h"

#include "config/SettingTable.h"

#include <QFile>
#include <QRegularExpression>
#include <cmath>

namespace brevant::drill {
namespace {

// A week of virtual time is more than any drill needs.
constexpr double MaxScenarioSeconds = 7 * 24 * 3600;

const QStringList UsbStates = {QStringLiteral("online"), QStringLiteral("onbattery"),
                               QStringLiteral("lowbattery"), QStringLiteral("lowonline"),
                               QStringLiteral("silent")};
const QStringList Buttons = {
    QStringLiteral("shutdown"),       QStringLiteral("yes"),          QStringLiteral("no"),
    QStringLiteral("clear-log"),      QStringLiteral("clear-events"), QStringLiteral("clear-closed"),
    QStringLiteral("alarm-shutdown"), QStringLiteral("alarm-cancel")};

// Section and key names match without regard to case, as the settings file's readers match them;
// a drill that sets a key the program does not know would drill a setting that does nothing.
QString checkSetting(const QString& section, const QString& name)
{
    if (findSetting(section, name))
        return {};
    QStringList sections;
    for (const SettingSpec& setting : AllSettings) {
        if (section.compare(setting.key.section, Qt::CaseInsensitive) == 0)
            return QStringLiteral("the settings section [%1] has no key '%2'").arg(section, name);
        if (!sections.contains(setting.key.section))
            sections.append(setting.key.section.toString());
    }
    return QStringLiteral("unknown settings section [%1] (known: %2)").arg(section, sections.join(u", "));
}

// What the USB UPS reports and answers: its state, its battery, its server's forced shutdown,
// and its answer to the command to switch off.
QString checkUsb(const QStringList& args)
{
    const QString what = args.value(0);
    if (args.size() == 2 && (what == u"charge" || what == u"runtime")) {
        // What the UPS reports of its battery: charge in %, runtime in seconds.
        bool number = false;
        const double value = args[1].toDouble(&number);
        if (!number || value < 0 || (what == u"charge" && value > 100))
            return QStringLiteral("usb charge needs 0 to 100 (%), usb runtime a number of seconds");
    } else if (what == u"fsd") {
        if (args.size() != 2 || (args[1] != u"on" && args[1] != u"off"))
            return QStringLiteral("usb fsd needs on or off");
    } else if (what == u"upsoff") {
        const QString answer = args.value(1);
        if (args.size() == 2 && (answer == u"accepted" || answer == u"notmine"))
            return {};
        bool number = false;
        const double seconds = args.value(2).toDouble(&number);
        if (args.size() != 3 || answer != u"underway" || !number || !(seconds >= 0) ||
            seconds > MaxScenarioSeconds)
            return QStringLiteral("usb upsoff needs accepted, notmine, or underway <seconds> (0 to %1)")
                .arg(MaxScenarioSeconds);
    } else if (args.size() != 1 || !UsbStates.contains(what)) {
        return QStringLiteral("usb needs one of: ") + UsbStates.join(u'|') +
               QStringLiteral(", or charge <percent>, runtime <seconds>, fsd on|off, "
                              "upsoff accepted|notmine|underway <seconds>");
    }
    return {};
}

// Checks the arguments of one command; returns an error text or an empty string.
QString checkArguments(const ScenarioCommand& c)
{
    if (c.verb == u"usb") {
        return checkUsb(c.args);
    } else if (c.verb == u"serial") {
        static const QRegularExpression line(QStringLiteral("^(cts|dcd)=[01]$"));
        bool cts = false;
        bool dcd = false;
        for (const QString& a : c.args) {
            if (!line.match(a).hasMatch())
                return QStringLiteral("serial needs cts=0|1 dcd=0|1, not '") + a + u'\'';
            (a.startsWith(u"cts") ? cts : dcd) = true;
        }
        if (!cts || !dcd || c.args.size() != 2)
            return QStringLiteral("serial needs both cts=0|1 and dcd=0|1");
    } else if (c.verb == u"set") {
        if (c.args.size() < 2)
            return QStringLiteral("set needs <Section> <Key> <Value>");
        return checkSetting(c.args.at(0), c.args.at(1));
    } else if (c.verb == u"press") {
        if (c.args.size() != 1 || !Buttons.contains(c.args.first()))
            return QStringLiteral("press needs one of: ") + Buttons.join(u'|');
    } else if (c.verb == u"end") {
        if (!c.args.isEmpty())
            return QStringLiteral("end takes no arguments");
    } else {
        return QStringLiteral("unknown command '") + c.verb + u'\'';
    }
    return {};
}

} // namespace

Result<QString> readScenario(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return Result<QString>::failure(file.errorString());
    const QByteArray text = file.read(ScenarioMaxBytes + 1);
    if (text.size() > ScenarioMaxBytes)
        return Result<QString>::failure(
            QStringLiteral("longer than %1 bytes: not a scenario").arg(ScenarioMaxBytes));
    if (file.error() != QFileDevice::NoError)
        return Result<QString>::failure(file.errorString());
    return Result<QString>::success(QString::fromUtf8(text));
}

Scenario parseScenario(const QString& text)
{
    static const QRegularExpression seconds(QStringLiteral("^\\d+(\\.\\d+)?$"));
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    // Section and key are single words; the value is the rest of the line, as typed.
    static const QRegularExpression setLine(
        QStringLiteral("^\\s*\\S+\\s+set\\s+(\\S+)\\s+(\\S+)(?:\\s(.*))?$"));

    Scenario scenario;
    auto error = [&](int line, const QString& what) {
        scenario.errors.append(QStringLiteral("line %1: %2").arg(line).arg(what));
    };

    qint64 lastTime = 0;
    bool ended = false;
    const QStringList lines = text.split(u'\n');
    for (int i = 0; i < lines.size(); ++i) {
        const int lineNo = i + 1;
        if (lines[i].size() > ScenarioMaxLineChars) {
            error(lineNo, QStringLiteral("longer than %1 characters").arg(ScenarioMaxLineChars));
            continue;
        }
        QString content = lines[i];
        if (const qsizetype hash = content.indexOf(u'#'); hash >= 0)
            content.truncate(hash);
        const QStringList words = content.split(blanks, Qt::SkipEmptyParts);
        if (words.isEmpty())
            continue;
        if (ended) {
            error(lineNo, QStringLiteral("nothing may follow 'end'"));
            continue;
        }
        if (!seconds.match(words.first()).hasMatch() || words.size() < 2) {
            error(lineNo, QStringLiteral("expected '<seconds> <command> [arguments]'"));
            continue;
        }
        // Bounded so that the milliseconds always fit: a longer time would wrap around and read
        // as a time going backwards.
        const double time = words.first().toDouble();
        if (!(time <= MaxScenarioSeconds)) {
            error(lineNo, QStringLiteral("time %1 s is beyond the longest drill (%2 s)")
                              .arg(words.first())
                              .arg(MaxScenarioSeconds));
            continue;
        }
        ScenarioCommand c;
        c.line = lineNo;
        c.timeMs = std::llround(time * 1000.0);
        c.verb = words.at(1);
        c.args = words.mid(2);
        if (c.verb == u"set") {
            const auto m = setLine.match(content);
            c.valueText = m.captured(3).trimmed();
        }
        if (const QString problem = checkArguments(c); !problem.isEmpty()) {
            error(lineNo, problem);
            continue;
        }
        if (c.timeMs < lastTime) {
            error(lineNo, QStringLiteral("time goes backwards (%1 s after %2 s)")
                              .arg(words.first())
                              .arg(double(lastTime) / 1000.0));
            continue;
        }
        lastTime = c.timeMs;
        ended = c.verb == u"end";
        scenario.commands.append(c);
    }
    if (!ended)
        error(int(lines.size()), QStringLiteral("the scenario must end with '<seconds> end'"));
    return scenario;
}

} // namespace brevant::drill
