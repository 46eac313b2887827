#pragma once

#include "platform/SystemPowerOff.h"

#include <QDBusConnection>
#include <QObject>
#include <chrono>

namespace brevant {

// Asks logind to power the machine off (org.freedesktop.login1.Manager.PowerOff, not
// interactive). The call is sent without waiting: the reply, or its absence after replyTimeout,
// only ends up in the log.
class LogindPowerOff : public QObject, public SystemPowerOff
{
    Q_OBJECT
public:
    // bus is the system bus in the program; tests hand in a private bus.
    explicit LogindPowerOff(const QDBusConnection& bus,
                            std::chrono::milliseconds replyTimeout = std::chrono::seconds(5),
                            QObject* parent = nullptr);

    void shutDownSystem() override;

private:
    QDBusConnection m_bus;
    std::chrono::milliseconds m_replyTimeout;
};

} // namespace brevant
