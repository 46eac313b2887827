#pragma once

#include "platform/TrayIcon.h"

#include <QDBusConnection>
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

    static const QString WatcherService; // org.kde.StatusNotifierWatcher

    explicit QtTrayIcon(Host host = Host::ReportsDoubleClick, QObject* parent = nullptr);
    ~QtTrayIcon() override;

    // Qt decides once per process, when the first icon is made or the first question about a
    // notification area is asked, between a StatusNotifierItem host and an XEmbed area. Started
    // at login before an SNI-only panel, the program would have no icon all session. So the icon
    // is made once a StatusNotifierItem host registers on `bus`, or after `ms` at the latest;
    // waitEnded() then tells whether there is a notification area. Nothing may ask Qt about the
    // notification area before. A host that registers later still gets the icon (recreateFor).
    void waitForNotificationArea(int ms, const QDBusConnection& bus = QDBusConnection::sessionBus());
    bool waiting() const { return m_waiting; }

    void replaceTrayIcon(TrayPicture picture, const QString& tip) override;
    void remove() override;
    void setWarning(const QString& warning) override;

    // Makes the icon again, once, with the picture and tip it shows: how a host that came up after
    // the icon was made is reached, where Qt picks the kind of notification area per icon.
    void recreateFor(Host host);

    Host host() const { return m_host; }
    // The icon on the desktop, null before the first replacement and while waiting.
    QSystemTrayIcon* icon() const { return m_icon.get(); }

signals:
    void doubleClicked();
    void waitEnded(bool notificationArea);

private slots:
    void askForHost();

private:
    void endWait();
    void onActivated(QSystemTrayIcon::ActivationReason reason);
    const QIcon& pictureIcon(TrayPicture picture);
    // The picture as shown now: with the warning mark while not protected.
    const QIcon& shownIcon(TrayPicture picture);
    QString shownTip() const;

    Host m_host;
    bool m_waiting = false;
    QDBusConnection m_bus{QString()};
    std::unique_ptr<QSystemTrayIcon> m_icon;
    std::optional<TrayPicture> m_picture; // what the icon shows
    QString m_tip;
    bool m_shown = false;            // between a replacement and remove()
    std::array<QIcon, 3> m_pictures; // drawn once each, from the art set
    std::array<QIcon, 3> m_markedPictures;
    QString m_warning;
};

} // namespace brevant
