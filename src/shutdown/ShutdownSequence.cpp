#include "shutdown/ShutdownSequence.h"

#include "base/Logging.h"
#include "config/Settings.h"
#include "link/ActiveLink.h"
#include "platform/ProcessStarter.h"
#include "platform/Scheduler.h"
#include "platform/SystemPowerOff.h"
#include "records/RecordStore.h"

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
        m_parts.settings.write(key::ShutDown, QStringLiteral("1"));
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
    m_parts.settings.write(key::ShutDown, QStringLiteral("1"));
}

void ShutdownSequence::Timer3_Timer()
{
    if (!m_parts.settings.shutdownRequested())
        return;
    // Reset first, so that each request is carried out once.
    m_parts.settings.write(key::ShutDown, QStringLiteral("0"));
    m_parts.links.current().switchUpsOff();
    m_parts.powerOff.shutDownSystem();
}

} // namespace brevant
