#pragma once

#include "link/UpsLink.h"
#include "monitor/PowerStatus.h"

#include <QObject>

namespace brevant {

class PowerMonitor;
class TrayIcon;

// The notification-area icon follows the power events: the on-battery picture when the mains
// fails, the low-battery picture when the battery runs low, the main picture when the mains is
// back or the UPS stops answering. Each event shows its picture; the icon itself decides what
// actually changes on the desktop.
class TrayPresenter : public QObject
{
    Q_OBJECT

public:
    TrayPresenter(PowerMonitor& monitor, TrayIcon& tray, QObject* parent = nullptr);

private:
    void follow(PowerEvent event, UpsState state);
    QString mainTip() const;

    PowerMonitor& m_monitor;
    TrayIcon& m_tray;
};

} // namespace brevant
