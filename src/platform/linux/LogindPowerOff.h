#pragma once

#include "platform/SystemPowerOff.h"

#include <QDBusConnection>
#include <QObject>
#include <chrono>

namespace brevant {

// Powers the machine off through logind (org.freedesktop.login1.Manager): CanPowerOff tells
// whether this user may, PowerOff (not interactive) asks for it. Calls are sent without waiting;
// an answer that does not come within replyTimeout counts as a refusal.
class LogindPowerOff : public QObject, public SystemPowerOff
{
    Q_OBJECT
public:
    // bus is the system bus in the program; tests hand in a private bus.
    explicit LogindPowerOff(const QDBusConnection& bus,
                            std::chrono::milliseconds replyTimeout = std::chrono::seconds(5),
                            QObject* parent = nullptr);

    void checkAllowed(Answer answer) override;
    void shutDownSystem(Answer answer) override;

private:
    void call(const QString& method, const QVariantList& arguments,
              std::function<Status(const QDBusMessage&)> interpret, Answer answer);

    QDBusConnection m_bus;
    std::chrono::milliseconds m_replyTimeout;
};

} // namespace brevant
