#include "platform/qtwidgets/QtHelpOpener.h"

#include "base/Logging.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace brevant {

void QtHelpOpener::openHelp(const QString& file)
{
    // Without the file there is nothing to show; asking the desktop would only bring up an error
    // window of its own.
    if (!QFileInfo(file).isFile()) {
        qCInfo(lcPlatform) << "no help file at" << file;
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(file)))
        qCInfo(lcPlatform) << "the desktop could not open" << file;
}

} // namespace brevant
