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
    // Shows the picture and tip (at most 63 characters). The engine calls it on every poll tick
    // that may change either; an implementation makes a repeated call cost nothing.
    virtual void replaceTrayIcon(TrayPicture picture, const QString& tip) = 0;
    // Not empty while the computer is not protected: the icon carries a warning mark over its
    // picture and the tip says why. Empty again when it is.
    virtual void setWarning(const QString& warning) = 0;
    virtual void remove() = 0;
};

} // namespace brevant
