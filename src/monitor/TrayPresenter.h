#pragma once

#include "link/UpsLink.h"
#include "monitor/PowerStatus.h"
#include "platform/TrayIcon.h"

#include <QObject>

namespace brevant {

class PowerMonitor;

// The notification-area icon follows the power events: the on-battery picture when the mains
// fails, the low-battery picture when the battery runs low, the main picture when the mains is
// back or the UPS stops answering. Each event shows its picture; the icon itself decides what
// actually changes on the desktop. On battery the tip adds the charge and runtime the UPS reports,
// and follows them from tick to tick.
class TrayPresenter : public QObject
{
    Q_OBJECT

public:
    TrayPresenter(PowerMonitor& monitor, TrayIcon& tray, QObject* parent = nullptr);

private:
    void follow(PowerEvent event, UpsState state, const UpsDetails& details);
    void replace(TrayPicture picture, const QString& tip);
    void replaceWithBattery(TrayPicture picture, const QString& tip, const UpsDetails& details);
    void refreshBatteryTip(const UpsDetails& details);
    static QString withBattery(const QString& tip, const UpsDetails& details);
    QString mainTip() const;

    PowerMonitor& m_monitor;
    TrayIcon& m_tray;
    TrayPicture m_picture = TrayPicture::ImaMain;
    QString m_batteryTip; // the event's own tip while it carries the battery, else empty
    QString m_shownTip;
};

} // namespace brevant
