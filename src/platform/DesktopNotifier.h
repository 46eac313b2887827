#pragma once

#include <QString>

namespace brevant {

// Tells the user something in a desktop notification (a bubble of the desktop's notification
// service), whether or not any window of the program is up.
class DesktopNotifier
{
public:
    enum class Urgency
    {
        Normal,
        Critical // stays until the user dismisses it, on desktops that honour it
    };
    struct Notification
    {
        QString summary;
        QString body;
        Urgency urgency = Urgency::Normal;
    };

    virtual ~DesktopNotifier() = default;
    // Shows the notification in place of the one shown before, if that is still up. Never blocks;
    // a desktop without a notification service shows nothing.
    virtual void notify(const Notification& notification) = 0;
};

} // namespace brevant
