#include "monitor/TrayPresenter.h"

#include "monitor/PowerMonitor.h"
#include "platform/TrayIcon.h"

namespace brevant {

TrayPresenter::TrayPresenter(PowerMonitor& monitor, TrayIcon& tray, QObject* parent)
    : QObject(parent)
    , m_monitor(monitor)
    , m_tray(tray)
{
    connect(&monitor, &PowerMonitor::powerEvent, this, &TrayPresenter::follow);
    connect(&monitor, &PowerMonitor::statusShown, this,
            [this](PowerStatus status, const UpsDetails& details) {
                // A state the tip does not show yet is left to its event, which comes next.
                const bool shown = (status == PowerStatus::OnBattery && m_picture == TrayPicture::ImaSOk) ||
                                   (status == PowerStatus::LowBattery && m_picture == TrayPicture::ImaSLow);
                if (shown)
                    refreshBatteryTip(details);
            });
}

QString TrayPresenter::mainTip() const
{
    return m_monitor.usbLinkMode() ? QStringLiteral("Brevant") : QStringLiteral("Quillon System");
}

void TrayPresenter::replace(TrayPicture picture, const QString& tip)
{
    m_picture = picture;
    m_batteryTip.clear();
    m_shownTip = tip;
    m_tray.replaceTrayIcon(picture, tip);
}

// "UPS is on battery — 87 %, about 23 min left": short, as the tray cuts a tip at 63 characters.
QString TrayPresenter::withBattery(const QString& tip, const UpsDetails& details)
{
    const QString battery = details.batteryText();
    return battery.isEmpty() ? tip : tip + QStringLiteral(" — ") + battery;
}

void TrayPresenter::replaceWithBattery(TrayPicture picture, const QString& tip, const UpsDetails& details)
{
    replace(picture, withBattery(tip, details));
    m_batteryTip = tip;
}

// The charge and runtime go on changing on battery: the tip follows them between events.
void TrayPresenter::refreshBatteryTip(const UpsDetails& details)
{
    if (m_batteryTip.isEmpty())
        return;
    const QString tip = withBattery(m_batteryTip, details);
    if (tip == m_shownTip)
        return;
    m_shownTip = tip;
    m_tray.replaceTrayIcon(m_picture, tip);
}

void TrayPresenter::follow(PowerEvent event, UpsState state, const UpsDetails& details)
{
    const QString onBatteryTip = QStringLiteral("UPS is on battery");
    switch (event) {
    case PowerEvent::PowerFailed:
        replaceWithBattery(TrayPicture::ImaSOk, onBatteryTip, details);
        return;
    case PowerEvent::BatteryLow:
        replaceWithBattery(TrayPicture::ImaSLow, QStringLiteral("UPS is low battery"), details);
        return;
    case PowerEvent::PowerRestored:
        replace(TrayPicture::ImaMain, mainTip());
        return;
    case PowerEvent::BatteryLowCleared:
        if (state.onBattery)
            replaceWithBattery(TrayPicture::ImaSOk, onBatteryTip, details);
        else
            replace(TrayPicture::ImaMain, mainTip());
        return;
    case PowerEvent::LinkLost:
        // The lost link shows the main picture under the program's name, whatever the link.
        replace(TrayPicture::ImaMain, QStringLiteral("Brevant"));
        return;
    case PowerEvent::SilentOnBattery:
        replace(TrayPicture::ImaSLow, QStringLiteral("UPS not answering on battery: shutting down"));
        return;
    case PowerEvent::ForcedShutdown:
        replace(TrayPicture::ImaSLow, QStringLiteral("Forced shutdown requested by the UPS server"));
        return;
    case PowerEvent::LinkBack:
        return;
    }
}

} // namespace brevant
