#include "monitor/PowerMonitor.h"

#include "base/Logging.h"
#include "config/Settings.h"
#include "link/ActiveLink.h"
#include "monitor/StatusDisplay.h"
#include "platform/Scheduler.h"
#include "platform/TrayIcon.h"
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
    static const char* const texts[] = {
        "the mains failed: the UPS runs on battery", "the UPS battery is low",  "the mains is back",
        "the UPS battery is no longer low",          "the UPS does not answer", "the UPS answers again"};
    qCInfo(lcMonitor) << texts[int(event)];
    emit powerEvent(event);
}

void PowerMonitor::Timer1_Timer()
{
    UpsLink& link = m_parts.links.current();
    m_tickLink = &link;
    m_usbLinkMode = link.kind() == UpsLink::Kind::Usb;
    link.query();
    if (!link.answering()) {
        // A lost link freezes the machine: latches, countdown and lists stay as they are.
        UnConShow();
        if (!m_linkLost) {
            m_linkLost = true;
            report(PowerEvent::LinkLost);
        }
        return;
    }
    if (m_linkLost) {
        m_linkLost = false;
        report(PowerEvent::LinkBack);
    }

    const UpsState state = link.state();
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
    if (link.state().batteryLow)
        lowBatteryBlock();
    else
        lowBatteryClearingCheck();

    listMaintenance();
}

void PowerMonitor::onBatteryBlock()
{
    StatusDisplay& d = m_parts.display;
    d.setVisible(StatusDisplay::ImaSLow, false);
    d.setVisible(StatusDisplay::ImaSOk, true);
    d.setVisible(StatusDisplay::ImaAlarm, true);
    d.DcPipeDisplay();
    d.LowPipeDisable();
    d.AcPipeDisable();
    d.setShutdownEnabled(true);
    d.setMessage(QStringLiteral("UPS is on Battery"), StatusDisplay::Orange);
    if (!m_upsOnBattFlag)
        powerFailure();
    m_upsOnBattFlag = true;
}

void PowerMonitor::onLineBlock()
{
    StatusDisplay& d = m_parts.display;
    d.setMessage(QStringLiteral("UPS is on-line"), StatusDisplay::Green);
    d.AcPipeDisplay(m_usbLinkMode, m_tickLink->answering());
    d.DcPipeDisable();
    d.LowPipeDisable();
    d.setVisible(StatusDisplay::ImaSLow, false);
    d.setVisible(StatusDisplay::ImaSOk, false);
    d.setVisible(StatusDisplay::ImaAlarm, false);
    d.setShutdownEnabled(false);
    cancelSteps();
    if (m_upsOnBattFlag)
        powerRestored();
    m_upsOnBattFlag = false;
}

void PowerMonitor::lowBatteryBlock()
{
    StatusDisplay& d = m_parts.display;
    d.setVisible(StatusDisplay::ImaSLow, true);
    d.setVisible(StatusDisplay::ImaSOk, false);
    d.setVisible(StatusDisplay::ImaAlarm, true);
    d.setShutdownEnabled(true);
    d.LowPipeDisplay();
    d.DcPipeDisable();
    d.AcPipeDisable();
    d.setMessage(QStringLiteral("UPS is Low Battery"), StatusDisplay::Red);
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
    m_parts.display.showDisconnected();
    m_parts.countdown.setLblAlarm(QStringLiteral(" "));
    m_parts.display.setVisible(StatusDisplay::ImaSOk, false);
    m_parts.display.setVisible(StatusDisplay::ImaSLow, false);
    m_parts.tray.replaceTrayIcon(TrayPicture::ImaMain, QStringLiteral("Brevant"));
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
}

QString PowerMonitor::mainTrayTip() const
{
    return m_usbLinkMode ? QStringLiteral("Brevant") : QStringLiteral("Quillon System");
}

void PowerMonitor::powerFailure()
{
    report(PowerEvent::PowerFailed);
    m_parts.tray.replaceTrayIcon(TrayPicture::ImaSOk, QStringLiteral("UPS is on battery"));
    armCountdown(EventSection::OnBattery);
    if (!m_parts.settings.eventDisabled(EventSection::OnBattery) &&
        m_parts.settings.recordLog(EventSection::OnBattery))
        writeEventRecord(QStringLiteral("Attention!! System Power Failed"));
}

void PowerMonitor::batteryLow()
{
    report(PowerEvent::BatteryLow);
    m_parts.tray.replaceTrayIcon(TrayPicture::ImaSLow, QStringLiteral("UPS is low battery"));
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
    m_parts.tray.replaceTrayIcon(TrayPicture::ImaMain, mainTrayTip());
    writeEventRecord(QStringLiteral("System AC Power Recovered"));
}

void PowerMonitor::batteryLowCleared()
{
    report(PowerEvent::BatteryLowCleared);
    if (m_parts.settings.lowBatteryShutdownIsOne()) {
        m_parts.countdown.stop();
        m_parts.countdown.setLblAlarm(QString());
        // A UPS still on battery goes through the power failure actions again on the next tick.
        m_upsOnBattFlag = false;
    }
    if (m_tickLink->state().onBattery)
        m_parts.tray.replaceTrayIcon(TrayPicture::ImaSOk, QStringLiteral("UPS is on battery"));
    else
        m_parts.tray.replaceTrayIcon(TrayPicture::ImaMain, mainTrayTip());
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
