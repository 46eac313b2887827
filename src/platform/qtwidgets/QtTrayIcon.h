#pragma once

#include "platform/TrayIcon.h"

#include <QObject>
#include <QSystemTrayIcon>
#include <memory>

namespace brevant {

// The notification-area icon. Each replacement removes the icon and adds it again, so the
// desktop always shows exactly one. Showing the main window is the icon's only action: a double
// click where the notification area reports one; where the area is a StatusNotifierItem host
// (KDE Plasma, GNOME with the AppIndicator extension) there are no double clicks, and the host's
// activation stands for one.
class QtTrayIcon final : public QObject, public TrayIcon
{
    Q_OBJECT

public:
    enum class Host
    {
        ReportsDoubleClick,    // an XEmbed notification area
        ReportsActivationOnly, // a StatusNotifierItem host
    };

    // The host the desktop offers now.
    static Host detectHost();

    explicit QtTrayIcon(Host host = detectHost(), QObject* parent = nullptr);
    ~QtTrayIcon() override;

    void replaceTrayIcon(TrayPicture picture, const QString& tip) override;
    void remove() override;

    // The icon on the desktop, null before the first replacement and after the removal.
    QSystemTrayIcon* icon() const { return m_icon.get(); }

signals:
    void doubleClicked();

private:
    void onActivated(QSystemTrayIcon::ActivationReason reason);

    Host m_host;
    std::unique_ptr<QSystemTrayIcon> m_icon;
};

} // namespace brevant
