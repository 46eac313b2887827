#pragma once

#include "platform/TrayIcon.h"

#include <QIcon>

namespace brevant {

// The three tray pictures, drawn at any size: mains (a plug on blue), on battery (an orange
// battery half full) and battery low (a red battery nearly empty).
QIcon trayPicture(TrayPicture picture);

} // namespace brevant
