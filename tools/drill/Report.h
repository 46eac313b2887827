#pragma once

#include "Scenario.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringView>
#include <QTextStream>

namespace brevant::drill {

// Where a drill tells what happens: each event of the engine with its virtual time in ms, each
// scenario command as it is carried out, and the end.
class Report
{
public:
    using Fields = QList<QPair<QStringView, QString>>;

    virtual ~Report() = default;
    virtual void event(qint64 timeMs, QStringView name, const Fields& fields) = 0;
    virtual void command(const ScenarioCommand& command) = 0;
    virtual void finished(qint64 timeMs) = 0;
};

// One JSON object per event and line: {"t":<ms>,"event":"<name>",<field>:<text>...}.
class JsonLinesReport final : public Report
{
public:
    explicit JsonLinesReport(QTextStream& out)
        : m_out(out)
    {}
    void event(qint64 timeMs, QStringView name, const Fields& fields) override;
    void command(const ScenarioCommand&) override {}
    void finished(qint64) override {}

private:
    QTextStream& m_out;
};

// Plain sentences for a person: what the scenario does and what the program would do, when
// ("1:26.2"), and at the end whether the system would have been shut down.
class SummaryReport final : public Report
{
public:
    explicit SummaryReport(QTextStream& out)
        : m_out(out)
    {}
    void event(qint64 timeMs, QStringView name, const Fields& fields) override;
    void command(const ScenarioCommand& command) override;
    void finished(qint64 timeMs) override;

private:
    void say(qint64 timeMs, const QString& sentence);
    void countdown(qint64 timeMs, const QString& text);
    void flushPending();
    QString upsOffSentence() const;

    QTextStream& m_out;
    // A record written to several tables at once, and UPS-off commands in a row with the same
    // answer, are told once.
    struct Pending
    {
        qint64 timeMs = -1;
        qint64 lastTimeMs = -1;
        QString what;
        QStringList places;
        QString reply; // of UPS-off commands: empty for accepted, "underway", "notmine"
        int times = 0;
    };
    Pending m_record;
    Pending m_upsOff;
    // The status page's message: one replaced at the same moment, within the same poll, was never
    // on the screen, and one the page shows already changes nothing: neither is told.
    Pending m_status;
    QString m_statusShown;
    // A primary computer's wait for the other computers on a shared UPS: the first and the latest
    // "under way" answer, and whether the wait is still on.
    qint64 m_underWaySinceMs = -1;
    qint64 m_underWayLastMs = -1;
    bool m_underWay = false;
    int m_countdownSeconds = 0;
    qint64 m_shutdownAt = -1;
};

} // namespace brevant::drill
