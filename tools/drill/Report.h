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

    QTextStream& m_out;
    // A record written to several tables at once, and UPS-off commands in a row, are told once.
    struct Pending
    {
        qint64 timeMs = -1;
        QString what;
        QStringList places;
        int times = 0;
    };
    Pending m_record;
    Pending m_upsOff;
    int m_countdownSeconds = 0;
    qint64 m_shutdownAt = -1;
};

} // namespace brevant::drill
