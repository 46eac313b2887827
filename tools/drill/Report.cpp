#include "Report.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

namespace brevant::drill {
namespace {

QString jsonString(const QString& text)
{
    // A one-element array is the simplest way to have Qt escape a string as JSON.
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.sliced(1, array.size() - 2));
}

QString field(const Report::Fields& fields, QStringView key)
{
    for (const auto& [name, value] : fields) {
        if (name == key)
            return value;
    }
    return {};
}

// "m:ss.s" of virtual time.
QString clock(qint64 timeMs)
{
    return QStringLiteral("%1:%2").arg(timeMs / 60000).arg(double(timeMs % 60000) / 1000.0, 4, 'f', 1, u'0');
}

QString listName(const QString& table)
{
    if (table == u"record")
        return QStringLiteral("the program log");
    if (table == u"UpsEvent")
        return QStringLiteral("the UPS event list");
    return QStringLiteral("the closed-applications list");
}

QString upsState(const QString& state)
{
    if (state == u"online")
        return QStringLiteral("on-line");
    if (state == u"onbattery")
        return QStringLiteral("on battery");
    if (state == u"lowbattery")
        return QStringLiteral("on battery, battery low");
    if (state == u"lowonline")
        return QStringLiteral("on-line, battery low");
    return QStringLiteral("no answer");
}

// What a `usb` command of the scenario makes the UPS report or answer.
QString usbCommand(const QStringList& a)
{
    const QString& what = a.first();
    if (what == u"charge")
        return QStringLiteral("the USB UPS reports a battery charge of %1 %").arg(a.at(1));
    if (what == u"runtime")
        return QStringLiteral("the USB UPS reports a battery runtime of %1 s").arg(a.at(1));
    if (what == u"fsd")
        return a.at(1) == u"on" ? QStringLiteral("the UPS's server asks for a forced shutdown (FSD): every "
                                                 "computer on the UPS is to shut down now")
                                : QStringLiteral("the UPS's server withdraws its forced shutdown");
    if (what != u"upsoff")
        return QStringLiteral("the USB UPS reports %1").arg(upsState(what));
    if (a.at(1) == u"underway")
        return QStringLiteral("the UPS answers a command to switch off \"under way\" for %1 s from the "
                              "first one, then accepts it (this computer is the primary of a shared "
                              "UPS and waits for the others)")
            .arg(a.at(2));
    if (a.at(1) == u"notmine")
        return QStringLiteral("the UPS answers a command to switch off \"not this computer's\" (this "
                              "computer is a secondary of a shared UPS; its primary switches the UPS off)");
    return QStringLiteral("the UPS accepts a command to switch off at once");
}

} // namespace

void JsonLinesReport::event(qint64 timeMs, QStringView name, const Fields& fields)
{
    m_out << "{\"t\":" << timeMs << ",\"event\":\"" << name << '"';
    for (const auto& [key, value] : fields)
        m_out << ",\"" << key << "\":" << jsonString(value);
    m_out << "}\n";
    m_out.flush();
}

void SummaryReport::say(qint64 timeMs, const QString& sentence)
{
    m_out << clock(timeMs).rightJustified(8) << "  " << sentence << '\n';
}

void SummaryReport::flushPending()
{
    if (m_status.times > 0 && m_status.what != m_statusShown) {
        say(m_status.timeMs, QStringLiteral("The status page shows \"%1\".").arg(m_status.what));
        m_statusShown = m_status.what;
    }
    m_status = {};
    if (m_record.times > 0)
        say(m_record.timeMs, QStringLiteral("\"%1\" is written to %2.")
                                 .arg(m_record.what, m_record.places.join(QStringLiteral(" and "))));
    if (m_upsOff.times > 0)
        say(m_upsOff.timeMs, upsOffSentence());
    m_record = {};
    m_upsOff = {};
}

QString SummaryReport::upsOffSentence() const
{
    const Pending& p = m_upsOff;
    if (p.reply.isEmpty() && m_underWaySinceMs >= 0)
        return QStringLiteral("The UPS accepts the command to switch off (%1), %2 s after its first "
                              "\"under way\".")
            .arg(p.what)
            .arg(double(p.timeMs - m_underWaySinceMs) / 1000.0, 0, 'f', 1);
    QString sent = QStringLiteral("The UPS is told to switch off (%1, %2 %3")
                       .arg(p.what)
                       .arg(p.times)
                       .arg(p.times == 1 ? QStringLiteral("time") : QStringLiteral("times"));
    if (p.reply == u"underway" && p.lastTimeMs > p.timeMs)
        sent += QStringLiteral(" up to ") + clock(p.lastTimeMs);
    sent += u')';
    if (p.reply == u"underway")
        return sent + QStringLiteral(" and answers \"under way\" each time: it waits for the other "
                                     "computers on the UPS to shut down.");
    if (p.reply == u"notmine")
        return sent + QStringLiteral(" and answers \"not this computer's\": this computer leaves the "
                                     "UPS to its primary computer, which switches it off.");
    return sent + u'.';
}

void SummaryReport::command(const ScenarioCommand& c)
{
    flushPending();
    const QStringList& a = c.args;
    if (c.verb == u"usb")
        say(c.timeMs, QStringLiteral("Scenario: ") + usbCommand(a) + u'.');
    else if (c.verb == u"serial")
        say(c.timeMs,
            QStringLiteral("Scenario: the serial lines read %1 (CTS = on battery, DCD = battery low).")
                .arg(a.join(u' ')));
    else if (c.verb == u"set")
        say(c.timeMs, QStringLiteral("Scenario: the setting [%1] %2 becomes \"%3\".")
                          .arg(a.at(0), a.at(1), c.valueText));
    else if (c.verb == u"press")
        say(c.timeMs, QStringLiteral("Scenario: the user presses %1.").arg(a.first()));
}

void SummaryReport::countdown(qint64 timeMs, const QString& text)
{
    static const QRegularExpression seconds(QStringLiteral("(\\d+)"));
    const auto match = seconds.match(text);
    const int left = match.hasMatch() ? match.captured(1).toInt() : 0;
    if (left > m_countdownSeconds)
        say(timeMs, QStringLiteral("The shutdown countdown starts: %1 seconds to go.").arg(left));
    else if (left == 0 && m_countdownSeconds > 0 && text.trimmed().isEmpty())
        say(timeMs, m_countdownSeconds == 1 ? QStringLiteral("The shutdown countdown runs out.")
                                            : QStringLiteral("The shutdown countdown stops."));
    m_countdownSeconds = left;
}

void SummaryReport::event(qint64 timeMs, QStringView name, const Fields& fields)
{
    if (name == u"status" && m_status.timeMs == timeMs && m_record.times == 0 && m_upsOff.times == 0)
        m_status = {};
    if (name == u"record") {
        const QString text = field(fields, u"text");
        if (m_record.times > 0 && (m_record.timeMs != timeMs || m_record.what != text))
            flushPending();
        m_record.timeMs = timeMs;
        m_record.what = text;
        m_record.places.append(listName(field(fields, u"table")));
        m_record.times++;
        return;
    }
    if (name == u"ups-off") {
        const QString reply = field(fields, u"reply");
        if (m_upsOff.times == 0 || m_upsOff.reply != reply) {
            flushPending();
            m_upsOff.timeMs = timeMs;
            m_upsOff.reply = reply;
            m_upsOff.what = QStringLiteral("over ") + (field(fields, u"link") == u"usb"
                                                           ? QStringLiteral("USB")
                                                           : QStringLiteral("the serial DTR line"));
        }
        m_upsOff.lastTimeMs = timeMs;
        m_upsOff.times++;
        m_underWay = reply == u"underway";
        if (m_underWay) {
            if (m_underWaySinceMs < 0)
                m_underWaySinceMs = timeMs;
            m_underWayLastMs = timeMs;
        }
        return;
    }
    flushPending();
    if (name == u"status") {
        m_status.timeMs = timeMs;
        m_status.what = field(fields, u"text");
        m_status.times = 1;
    } else if (name == u"countdown") {
        countdown(timeMs, field(fields, u"text"));
    } else if (name == u"alarm") {
        const QString action = field(fields, u"action");
        if (action == u"show")
            say(timeMs, QStringLiteral("The alarm window opens: about four seconds to cancel the shutdown."));
        else
            say(timeMs, action == u"hide" ? QStringLiteral("The alarm window is hidden.")
                                          : QStringLiteral("The alarm window closes."));
    } else if (name == u"question") {
        if (const QString text = field(fields, u"text"); !text.isEmpty())
            say(timeMs, QStringLiteral("The program asks: \"%1\"").arg(text));
    } else if (name == u"settings") {
        say(timeMs, QStringLiteral("The program writes [%1] %2=%3.")
                        .arg(field(fields, u"section"), field(fields, u"key"), field(fields, u"value")));
    } else if (name == u"start-program") {
        say(timeMs,
            QStringLiteral("%1 is started to save and close the applications.").arg(field(fields, u"path")));
    } else if (name == u"system-shutdown") {
        if (m_underWay)
            say(timeMs, QStringLiteral("The UPS still answers \"under way\" after %1 s: the system is "
                                       "shut down without waiting longer.")
                            .arg(double(m_underWayLastMs - m_underWaySinceMs) / 1000.0, 0, 'f', 1));
        // The wait ends with the power-off: a later shutdown of the drill waits afresh.
        m_underWay = false;
        m_underWaySinceMs = -1;
        say(timeMs, QStringLiteral("The system is shut down."));
        if (m_shutdownAt < 0)
            m_shutdownAt = timeMs;
    } else if (name == u"cleared") {
        QString list = listName(field(fields, u"table"));
        list[0] = list[0].toUpper();
        say(timeMs, list + QStringLiteral(" is emptied."));
    }
}

void SummaryReport::finished(qint64 timeMs)
{
    flushPending();
    if (m_shutdownAt >= 0)
        m_out << "In this drill of " << clock(timeMs) << " the system would be shut down at "
              << clock(m_shutdownAt) << ".\n";
    else
        m_out << "In this drill of " << clock(timeMs) << " the system would not be shut down.\n";
    m_out.flush();
}

} // namespace brevant::drill
