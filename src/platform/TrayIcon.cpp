#include "platform/TrayIcon.h"

namespace brevant {

QString trayPictureName(TrayPicture picture)
{
    switch (picture) {
    case TrayPicture::ImaSOk:
        return QStringLiteral("ImaSOk");
    case TrayPicture::ImaSLow:
        return QStringLiteral("ImaSLow");
    case TrayPicture::ImaMain:
        break;
    }
    return QStringLiteral("ImaMain");
}

} // namespace brevant
