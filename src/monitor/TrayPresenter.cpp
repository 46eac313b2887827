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
}

QString TrayPresenter::mainTip() const
{
    return m_monitor.usbLinkMode() ? QStringLiteral("Brevant") : QStringLiteral("Quillon System");
}

void TrayPresenter::follow(PowerEvent event, UpsState state)
{
    const QString onBatteryTip = QStringLiteral("UPS is on battery");
    switch (event) {
    case PowerEvent::PowerFailed:
        m_tray.replaceTrayIcon(TrayPicture::ImaSOk, onBatteryTip);
        return;
    case PowerEvent::BatteryLow:
        m_tray.replaceTrayIcon(TrayPicture::ImaSLow, QStringLiteral("UPS is low battery"));
        return;
    case PowerEvent::PowerRestored:
        m_tray.replaceTrayIcon(TrayPicture::ImaMain, mainTip());
        return;
    case PowerEvent::BatteryLowCleared:
        if (state.onBattery)
            m_tray.replaceTrayIcon(TrayPicture::ImaSOk, onBatteryTip);
        else
            m_tray.replaceTrayIcon(TrayPicture::ImaMain, mainTip());
        return;
    case PowerEvent::LinkLost:
        // The lost link shows the main picture under the program's name, whatever the link.
        m_tray.replaceTrayIcon(TrayPicture::ImaMain, QStringLiteral("Brevant"));
        return;
    case PowerEvent::SilentOnBattery:
        m_tray.replaceTrayIcon(TrayPicture::ImaSLow,
                               QStringLiteral("UPS not answering on battery: shutting down"));
        return;
    case PowerEvent::ForcedShutdown:
        m_tray.replaceTrayIcon(TrayPicture::ImaSLow,
                               QStringLiteral("Forced shutdown requested by the UPS server"));
        return;
    case PowerEvent::LinkBack:
        return;
    }
}

} // namespace brevant
