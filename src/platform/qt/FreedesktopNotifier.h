#pragma once

#include "platform/DesktopNotifier.h"

#include <QDBusConnection>
#include <QObject>

namespace brevant {

// Desktop notifications through the freedesktop Notifications service
// (org.freedesktop.Notifications.Notify on the session bus). Calls are sent without waiting; the
// reply only gives the id that the next notification replaces, and a failure is logged once until
// a call succeeds again.
class FreedesktopNotifier : public QObject, public DesktopNotifier
{
    Q_OBJECT
public:
    // bus is the session bus in the program; tests hand in a private bus.
    explicit FreedesktopNotifier(const QDBusConnection& bus, QObject* parent = nullptr);

    void notify(const Notification& notification) override;

private:
    QDBusConnection m_bus;
    quint32 m_shownId = 0;
    bool m_failureLogged = false;
};

} // namespace brevant
