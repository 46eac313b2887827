#include "monitor/PowerMonitor.h"

#include "base/Logging.h"
#include "config/Settings.h"
#include "link/ActiveLink.h"
#include "platform/Scheduler.h"
#include "records/RecordStore.h"
#include "shutdown/AlarmController.h"
#include "shutdown/Countdown.h"

namespace brevant {

PowerMonitor::PowerMonitor(Parts parts, QObject* parent)
    : QObject(parent)
    , m_parts(parts)
    , m_timer1(parts.scheduler.createTimer(PollIntervalMs, [this] { Timer1_Timer(); }))
{}

PowerMonitor::~PowerMonitor() = default;

void PowerMonitor::startPolling()
{
    m_timer1->start();
}

void PowerMonitor::stopPolling()
{
    m_timer1->stop();
}

void PowerMonitor::report(PowerEvent event)
{
    static const char* const texts[] = {"the mains failed: the UPS runs on battery",
                                        "the UPS battery is low",
                                        "the mains is back",
                                        "the UPS battery is no longer low",
                                        "the UPS does not answer",
                                        "the UPS answers again",
                                        "the UPS has been silent on battery too long: shutting down",
                                        "the UPS server asks for a forced shutdown"};
    qCInfo(lcMonitor) << texts[int(event)];
    emit powerEvent(event, m_tickLink->state(), m_tickLink->details());
}

UpsDetails PowerMonitor::tickDetails() const
{
    return m_tickLink ? m_tickLink->details() : UpsDetails{};
}

void PowerMonitor::showStatus(PowerStatus status)
{
    emit statusShown(status, status == PowerStatus::NotAnswering ? UpsDetails{} : tickDetails());
}

void PowerMonitor::Timer1_Timer()
{
    if (m_held)
        return;
    UpsLink& link = m_parts.links.current();
    m_tickLink = &link;
    m_usbLinkMode = link.kind() == UpsLink::Kind::Usb;
    // The thresholds cost two reads of the settings file: only for a UPS that reported something
    // they could act on at the last poll.
    if (const UpsDetails known = link.details();
        m_usbLinkMode && (known.chargePercent || known.runtimeSeconds))
        m_parts.links.usb().setLowBatteryLimits(
            {m_parts.settings.lowBatteryCharge(), m_parts.settings.lowBatteryRuntimeMinutes()});
    link.query();
    if (!link.answering()) {
        // A lost link freezes the machine: latches, countdown and lists stay as they are.
        UnConShow();
        if (!m_linkLost) {
            m_linkLost = true;
            m_silentSinceMs = m_parts.scheduler.nowMs();
            report(PowerEvent::LinkLost);
        }
        shutDownIfSilentOnBattery();
        return;
    }
    if (m_linkLost) {
        m_linkLost = false;
        m_silentShutdownStarted = false;
        report(PowerEvent::LinkBack);
    }

    const UpsState state = holdBatteryLow(link.state());
    m_lastSeenOnBattery = state.onBattery;
    if (state.onBattery) {
        if (state.batteryLow) {
            m_lowBattLevel = true;
        } else {
            m_lowBattLevel = false;
            onBatteryBlock();
        }
    } else {
        onLineBlock();
    }

    // Read again: on the serial link the line may have changed since, and each step acts on its own reading.
    if (holdBatteryLow(link.state()).batteryLow)
        lowBatteryBlock();
    else
        lowBatteryClearingCheck();

    followForcedShutdown(state.forcedShutdown);

    listMaintenance();
}

UpsState PowerMonitor::holdBatteryLow(UpsState state)
{
    if (!state.onBattery)
        m_batteryLowHeld = false;
    else if (state.batteryLow)
        m_batteryLowHeld = true;
    state.batteryLow = state.batteryLow || m_batteryLowHeld;
    return state;
}

void PowerMonitor::shutDownIfSilentOnBattery()
{
    if (!m_lastSeenOnBattery || m_silentShutdownStarted ||
        m_parts.scheduler.nowMs() - m_silentSinceMs < SilentOnBatteryLimitMs)
        return;
    // Only where the user wants a shutdown at all: a silent UPS counts as a battery run low.
    if (!m_parts.settings.shutdownOnEvent(EventSection::OnBattery) &&
        !m_parts.settings.shutdownOnEvent(EventSection::LowBattery))
        return;
    m_silentShutdownStarted = true;
    report(PowerEvent::SilentOnBattery);
    writeEventRecord(QStringLiteral("UPS silent while on battery: shutdown started"));
    startShutdownNow();
}

void PowerMonitor::followForcedShutdown(bool requested)
{
    if (!requested) {
        m_forcedShutdownStarted = false;
        return;
    }
    showStatus(PowerStatus::ForcedShutdown);
    if (m_forcedShutdownStarted)
        return;
    // Whatever the user's delay: the server's primary computer is about to cut the power.
    m_forcedShutdownStarted = true;
    report(PowerEvent::ForcedShutdown);
    m_parts.records.appendRecord(RecordTableId::Log,
                                 QStringLiteral("Forced shutdown requested by the UPS server"));
    startShutdownNow();
}

void PowerMonitor::startShutdownNow()
{
    m_parts.countdown.stop();
    m_parts.countdown.setLblAlarm(QString());
    m_parts.alarm.showCounting();
}

void PowerMonitor::onBatteryBlock()
{
    showStatus(PowerStatus::OnBattery);
    if (!m_upsOnBattFlag)
        powerFailure();
    m_upsOnBattFlag = true;
}

void PowerMonitor::onLineBlock()
{
    showStatus(PowerStatus::OnLine);
    cancelSteps();
    if (m_upsOnBattFlag)
        powerRestored();
    m_upsOnBattFlag = false;
}

void PowerMonitor::lowBatteryBlock()
{
    showStatus(PowerStatus::LowBattery);
    if (!m_upsLowBattFlag)
        batteryLow();
}

void PowerMonitor::lowBatteryClearingCheck()
{
    if (m_upsLowBattFlag)
        batteryLowCleared();
}

void PowerMonitor::UnConShow()
{
    showStatus(PowerStatus::NotAnswering);
    m_parts.countdown.setLblAlarm(QStringLiteral(" "));
}

void PowerMonitor::armCountdown(EventSection section)
{
    if (!m_parts.settings.shutdownOnEvent(section))
        return;
    m_parts.countdown.setShutdownDelay(m_parts.settings.delaySeconds(section));
    m_parts.countdown.start();
    qCInfo(lcMonitor) << "shutdown in" << m_parts.countdown.shutdownDelay() << "s unless the power returns";
    emit countdownArmed(m_parts.countdown.shutdownDelay());
}

void PowerMonitor::writeEventRecord(const QString& text)
{
    m_parts.records.appendRecord(RecordTableId::Log, text);
    m_parts.records.appendRecord(RecordTableId::UpsEvent, text);
    // Our own note after the event's record, which keeps its text.
    if (const QString battery = tickDetails().batteryText(); !battery.isEmpty())
        m_parts.records.appendRecord(RecordTableId::Log, QStringLiteral("UPS battery: ") + battery);
}

void PowerMonitor::powerFailure()
{
    report(PowerEvent::PowerFailed);
    armCountdown(EventSection::OnBattery);
    if (!m_parts.settings.eventDisabled(EventSection::OnBattery) &&
        m_parts.settings.recordLog(EventSection::OnBattery))
        writeEventRecord(QStringLiteral("Attention!! System Power Failed"));
}

void PowerMonitor::batteryLow()
{
    report(PowerEvent::BatteryLow);
    armCountdown(EventSection::LowBattery);
    // Unlike the power failure, a disabled battery-low event leaves its latch down, so these
    // steps repeat on every tick while the battery stays low.
    if (m_parts.settings.eventDisabled(EventSection::LowBattery))
        return;
    if (m_parts.settings.recordLog(EventSection::LowBattery))
        writeEventRecord(QStringLiteral("Attention!! UPS Battery Low"));
    m_upsLowBattFlag = true;
}

void PowerMonitor::cancelSteps()
{
    // The mains is back, but the UPS's server still asks for the shutdown: it goes on.
    if (m_forcedShutdownStarted)
        return;
    if (m_parts.alarm.alarmFormShown()) {
        m_parts.alarm.setAlarmFormShown(false);
        m_parts.alarm.unload();
    }
    m_parts.countdown.setLblAlarm(QString());
    m_parts.countdown.stop();
}

void PowerMonitor::powerRestored()
{
    report(PowerEvent::PowerRestored);
    writeEventRecord(QStringLiteral("System AC Power Recovered"));
}

void PowerMonitor::batteryLowCleared()
{
    if (m_parts.settings.lowBatteryShutdownIsOne()) {
        m_parts.countdown.stop();
        m_parts.countdown.setLblAlarm(QString());
        // A UPS still on battery goes through the power failure actions again on the next tick.
        m_upsOnBattFlag = false;
    }
    report(PowerEvent::BatteryLowCleared);
    writeEventRecord(QStringLiteral("UPS Battery Low Recovered"));
    m_upsLowBattFlag = false;
}

void PowerMonitor::listMaintenance()
{
    const Settings& settings = m_parts.settings;
    m_parts.records.trimOnTick(TickLimits{settings.recordLimit(RecordList::Log),
                                          settings.recordLimit(RecordList::Event),
                                          settings.recordLimit(RecordList::Close)});
}

} // namespace brevant
