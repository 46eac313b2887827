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
    setHandOverAwaited(true);
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
    startSystemShutdown();
}

void ShutdownSequence::proceedWithoutHandOver()
{
    if (!m_handOverAwaited)
        return;
    qCWarning(lcShutdown) << "the program ends: shutting down without waiting for the hand-over";
    m_parts.records.appendRecord(RecordTableId::Log,
                                 QStringLiteral("Program ending: shutdown without waiting for close.exe"));
    startSystemShutdown();
}

void ShutdownSequence::startSystemShutdown()
{
    // Started before the hand-over is marked done, so that no moment in between looks idle.
    m_parts.systemShutdown.start();
    setHandOverAwaited(false);
}

void ShutdownSequence::setHandOverAwaited(bool awaited)
{
    if (m_handOverAwaited == awaited)
        return;
    m_handOverAwaited = awaited;
    emit handOverAwaitedChanged(awaited);
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
    startSystemShutdown();
}

} // namespace brevant
