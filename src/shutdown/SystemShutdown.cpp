#include "shutdown/SystemShutdown.h"

#include "base/Logging.h"
#include "link/ActiveLink.h"
#include "platform/MessageBoxPresenter.h"
#include "platform/Scheduler.h"
#include "platform/SystemPowerOff.h"
#include "records/RecordStore.h"

#include <QPointer>

namespace brevant {

SystemShutdown::SystemShutdown(Parts parts, QObject* parent)
    : QObject(parent)
    , m_parts(parts)
    , m_retry(parts.scheduler.createTimer(RetryIntervalMs,
                                          [this] {
                                              m_retry->stop();
                                              askPermission();
                                          }))
    , m_upsOffAskAgain(parts.scheduler.createTimer(UpsOffAskAgainMs, [this] { askUpsOffAgain(); }))
{}

SystemShutdown::~SystemShutdown() = default;

void SystemShutdown::start()
{
    if (m_pending)
        return;
    m_pending = true;
    askPermission();
}

void SystemShutdown::askPermission()
{
    m_attempting = true;
    // The answer may come from the event loop, after this object is gone with the engine.
    m_parts.powerOff.checkAllowed([self = QPointer(this)](const Status& permission) {
        if (self)
            self->permissionAnswered(permission);
    });
}

void SystemShutdown::permissionAnswered(const Status& permission)
{
    if (!permission.ok()) {
        refused(permission.error());
        return;
    }
    if (m_upsSwitchedOff) {
        requestPowerOff();
        return;
    }
    startUpsOff();
}

void SystemShutdown::startUpsOff()
{
    qCInfo(lcShutdown) << "switching the UPS off";
    m_upsSwitchedOff = true;
    emit upsOffStarted();
    const UpsLink::UpsOffPlan plan = m_parts.links.current().upsOffPlan();
    m_upsOffCommandsLeft = plan.commands;
    m_nextUpsOffCommand = m_parts.scheduler.createTimer(plan.intervalMs, [this] {
        m_nextUpsOffCommand->stop();
        sendNextUpsOffCommand();
    });
    sendNextUpsOffCommand();
}

void SystemShutdown::sendNextUpsOffCommand()
{
    const UpsLink::UpsOffReply reply = m_parts.links.current().sendUpsOff();
    if (--m_upsOffCommandsLeft > 0) {
        m_nextUpsOffCommand->start();
        return;
    }
    if (reply == UpsLink::UpsOffReply::UnderWay) {
        qCInfo(lcShutdown) << "the UPS is switched off once the other computers it powers have shut down";
        m_upsOffWaitEndsMs = m_parts.scheduler.nowMs() + UpsOffWaitLimitMs;
        m_upsOffAskAgain->start();
        return;
    }
    if (reply == UpsLink::UpsOffReply::NotThisComputer)
        qCInfo(lcShutdown) << "this computer does not switch the shared UPS off: its primary computer does";
    requestPowerOff();
}

void SystemShutdown::askUpsOffAgain()
{
    const UpsLink::UpsOffReply reply = m_parts.links.current().sendUpsOff();
    if (reply == UpsLink::UpsOffReply::UnderWay && m_parts.scheduler.nowMs() < m_upsOffWaitEndsMs)
        return;
    m_upsOffAskAgain->stop();
    if (reply == UpsLink::UpsOffReply::UnderWay)
        qCWarning(lcShutdown) << "the UPS-off is still under way after" << UpsOffWaitLimitMs / 1000
                              << "s: the system powers off without waiting longer";
    requestPowerOff();
}

void SystemShutdown::requestPowerOff()
{
    qCInfo(lcShutdown) << "asking the system to power off";
    m_parts.powerOff.shutDownSystem([self = QPointer(this)](const Status& request) {
        if (self)
            self->powerOffAnswered(request);
    });
    m_attempting = false;
    emit attemptEnded();
}

void SystemShutdown::powerOffAnswered(const Status& request)
{
    if (!request.ok()) {
        refused(request.error());
        return;
    }
    m_pending = false;
    m_upsSwitchedOff = false;
    m_lastReason.clear();
}

void SystemShutdown::refused(const QString& reason)
{
    qCWarning(lcShutdown).noquote() << "the system refused to power off:" << reason << "- asking again in"
                                    << RetryIntervalMs / 1000 << "s";
    if (reason != m_lastReason) {
        m_lastReason = reason;
        const QString ups = m_upsSwitchedOff ? QStringLiteral("The UPS has been told to switch off.")
                                             : QStringLiteral("The UPS has not been switched off.");
        m_parts.records.appendRecord(RecordTableId::Log, QStringLiteral("Shutdown refused: ") + reason);
        m_parts.messages.showError(
            QStringLiteral("The system refused to shut down: %1.\n%2 Brevant asks again "
                           "every %3 seconds; save your work and shut down by hand.")
                .arg(reason, ups)
                .arg(RetryIntervalMs / 1000));
    }
    m_retry->start();
    m_attempting = false;
    emit attemptEnded();
}

} // namespace brevant
