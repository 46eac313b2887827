#include "platform/qt/QtProcessStarter.h"

#include <QProcess>

namespace brevant {

bool QtProcessStarter::startDetached(const QString& program)
{
    QProcess process;
    process.setProgram(program);
    return process.startDetached();
}

} // namespace brevant
