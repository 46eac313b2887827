#include "shutdown/Readiness.h"

#include "base/Logging.h"
#include "config/Settings.h"
#include "platform/Scheduler.h"
#include "records/RecordStore.h"

#include <QFileInfo>
#include <QPointer>

namespace brevant {
namespace {

QString delayText(qint32 seconds)
{
    if (seconds % 60 == 0)
        return QStringLiteral("%1 min").arg(seconds / 60);
    if (seconds < 60)
        return QStringLiteral("%1 s").arg(seconds);
    return QStringLiteral("%1 min %2 s").arg(seconds / 60).arg(seconds % 60);
}

} // namespace

Readiness::Readiness(Scheduler& scheduler, const Settings& settings, RecordStore& records, QObject* parent)
    : QObject(parent)
    , m_settings(settings)
    , m_records(records)
    , m_timer(scheduler.createTimer(
          RecheckIntervalMs, [this] { recheck(); }, TimerPrecision::Coarse))
{}

Readiness::~Readiness() = default;

void Readiness::addCheck(Check check)
{
    m_checks.append(std::move(check));
}

void Readiness::start()
{
    m_timer->start();
    recheck();
}

void Readiness::recheck()
{
    if (m_running) {
        m_again = true;
        return;
    }
    m_running = true;
    const Finding readable = settingsReadable();
    if (!readable.ready)
        return conclude(readable);
    runFrom(0);
}

Readiness::Finding Readiness::settingsReadable() const
{
    // A settings file that gives no settings reads as "no shutdown": say what is wrong with it.
    if (const Status problem = m_settings.fileProblem(); !problem.ok()) {
        if (!QFileInfo::exists(m_settings.fileName()))
            return Finding::no(
                problem.error(),
                QStringLiteral("Start Brevant: it writes its first-install settings where none exist"));
        return Finding::no(
            problem.error(),
            QStringLiteral("Set the shutdown again on the Event Manager page, or remove the file so "
                           "that Brevant writes its first-install settings at its next start"));
    }
    return Finding::yes();
}

Readiness::Finding Readiness::shutdownSet(QString& protectedText) const
{
    // The mains fails before the battery runs low: a shutdown set for the mains failure comes
    // first. A battery-low event that is switched off restarts its countdown on every poll while
    // the battery is low, so its shutdown never comes.
    if (m_settings.shutdownOnEvent(EventSection::OnBattery)) {
        protectedText = QStringLiteral("Protected — shutdown %1 after the mains fails")
                            .arg(delayText(m_settings.delaySeconds(EventSection::OnBattery)));
        return Finding::yes();
    }
    if (m_settings.shutdownOnEvent(EventSection::LowBattery) &&
        !m_settings.eventDisabled(EventSection::LowBattery)) {
        protectedText = QStringLiteral("Protected — shutdown %1 after battery low")
                            .arg(delayText(m_settings.delaySeconds(EventSection::LowBattery)));
        return Finding::yes();
    }
    return Finding::no(QStringLiteral("no shutdown is set for a mains failure or a low battery"),
                       QStringLiteral("Turn on the shutdown for battery low in the event settings"));
}

void Readiness::runFrom(qsizetype index)
{
    // A UPS that does not answer, or a system that would not power off, is said before a
    // shutdown the user left unset: it is what the Status page's picture shows, and it needs
    // mending whatever the settings.
    if (index == m_checks.size())
        return conclude(shutdownSet(m_protectedText));
    // The answer may come from the event loop, after this object is gone.
    m_checks[index]([self = QPointer(this), index](const Finding& finding) {
        if (!self)
            return;
        if (!finding.ready)
            return self->conclude(finding);
        self->runFrom(index + 1);
    });
}

void Readiness::conclude(const Finding& finding)
{
    m_running = false;
    ReadinessVerdict verdict{finding.ready, m_protectedText};
    if (!finding.ready)
        verdict.text = QStringLiteral("Not protected: %1. %2.").arg(finding.reason, finding.remedy);
    const bool first = !m_known;
    if (first || verdict != m_verdict) {
        m_known = true;
        m_verdict = verdict;
        if (verdict.isProtected)
            qCInfo(lcShutdown).noquote() << verdict.text;
        else
            qCWarning(lcShutdown).noquote() << verdict.text;
        if (!(first && verdict.isProtected))
            m_records.appendRecord(RecordTableId::Log, verdict.text);
        emit verdictChanged(m_verdict);
    }
    if (std::exchange(m_again, false))
        recheck();
}

} // namespace brevant
