#pragma once

#include <QString>

namespace brevant {

// The three pictures the notification-area icon can show, by their image names.
enum class TrayPicture
{
    ImaMain,
    ImaSOk,
    ImaSLow
};

QString trayPictureName(TrayPicture picture);

class TrayIcon
{
public:
    virtual ~TrayIcon() = default;
    // Deletes the icon, then adds it again with the picture and tip (at most 63 characters).
    virtual void replaceTrayIcon(TrayPicture picture, const QString& tip) = 0;
    virtual void remove() = 0;
};

} // namespace brevant
