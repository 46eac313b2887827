#pragma once

#include "platform/TrayIcon.h"

#include <QIcon>
#include <QObject>
#include <QSystemTrayIcon>
#include <array>
#include <memory>
#include <optional>

namespace brevant {

// The notification-area icon: one QSystemTrayIcon for the program's life. A replacement changes
// only what differs from the icon shown (picture, tip), so the engine may repeat it on every poll
// tick at no cost: a notification area re-registers an icon that is removed and added again, and
// moves it among the others. Showing the main window is the icon's only action: a double click
// where the notification area reports one; where the area is a StatusNotifierItem host (KDE
// Plasma, GNOME with the AppIndicator extension) there are no double clicks, and the host's
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

    // Qt picks the kind of notification area (StatusNotifierItem or XEmbed) when an icon is
    // made: a host that comes up later is reached by making the icon again, once, with the
    // picture and tip it shows.
    void recreateFor(Host host);

    // The icon on the desktop, null before the first replacement.
    QSystemTrayIcon* icon() const { return m_icon.get(); }

signals:
    void doubleClicked();

private:
    void makeIcon();
    void onActivated(QSystemTrayIcon::ActivationReason reason);
    const QIcon& pictureIcon(TrayPicture picture);

    Host m_host;
    std::unique_ptr<QSystemTrayIcon> m_icon;
    std::optional<TrayPicture> m_picture; // what the icon shows
    std::array<QIcon, 3> m_pictures;      // drawn once each, from the art set
};

} // namespace brevant
