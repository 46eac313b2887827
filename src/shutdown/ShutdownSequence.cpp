#include "shutdown/ShutdownSequence.h"

#include "base/Logging.h"
#include "config/Settings.h"
#include "platform/ProcessStarter.h"
#include "platform/Scheduler.h"
#include "records/RecordStore.h"
#include "shutdown/SystemShutdown.h"

namespace brevant {

ShutdownSequence::ShutdownSequence(Parts parts, QObject* parent)
    : QObject(parent)
    , m_parts(std::move(parts))
    , m_timer3(m_parts.scheduler.createTimer(100, [this] { Timer3_Timer(); }))
{}

ShutdownSequence::~ShutdownSequence() = default;

bool ShutdownSequence::watcherArmed() const
{
    return m_timer3->isActive();
}

void ShutdownSequence::RequestShutdown(Origin origin)
{
    m_timer3->start();
    emit windowsLeave(origin);

    if (!m_parts.settings.saveApplications()) {
        handOver();
        return;
    }
    // A "1" left behind by an earlier run would let the watcher shut down before close.exe has
    // saved anything: only close.exe's own write may complete this sequence.
    if (Status cleared = m_parts.settings.write(key::ShutDown, QStringLiteral("0")); !cleared.ok()) {
        shutDownWithoutHandOver(cleared.error());
        return;
    }
    if (m_parts.processStarter.startDetached(m_parts.closeProgram))
        return; // close.exe gives the handshake when it has saved the user's work
    // Without close.exe nobody would ever give the handshake: shut down without saving rather
    // than not at all.
    qCWarning(lcShutdown) << "could not start" << m_parts.closeProgram
                          << "- shutting down without saving applications";
    m_parts.records.appendRecord(
        RecordTableId::Log,
        QStringLiteral("close.exe could not be started: shutdown without saving applications"));
    handOver();
}

void ShutdownSequence::handOver()
{
    if (Status written = m_parts.settings.write(key::ShutDown, QStringLiteral("1")); !written.ok())
        shutDownWithoutHandOver(written.error());
}

void ShutdownSequence::shutDownWithoutHandOver(const QString& reason)
{
    qCWarning(lcShutdown).noquote() << "the shutdown hand-over cannot be written (" << reason
                                    << ") - shutting down without it";
    m_parts.records.appendRecord(RecordTableId::Log,
                                 QStringLiteral("Shutdown hand-over not written: shutdown without it"));
    m_parts.systemShutdown.start();
}

void ShutdownSequence::Timer3_Timer()
{
    if (!m_parts.settings.shutdownRequested()) {
        m_handOverStuck = false;
        return;
    }
    if (m_handOverStuck || m_parts.systemShutdown.isPending())
        return;
    // Reset first, so that each request is carried out once.
    m_handOverStuck = !m_parts.settings.write(key::ShutDown, QStringLiteral("0")).ok();
    m_parts.systemShutdown.start();
}

} // namespace brevant
