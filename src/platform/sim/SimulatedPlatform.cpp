#include "platform/sim/SimulatedPlatform.h"

#include <QFileInfo>

namespace brevant {

void SimulatedTray::replaceTrayIcon(TrayPicture picture, const QString& tip)
{
    m_shown = true;
    m_history.append({picture, tip});
    if (onReplace)
        onReplace(m_history.last());
}

void SimulatedTray::remove()
{
    m_shown = false;
    if (onRemove)
        onRemove();
}

void SimulatedPowerOff::shutDownSystem(Answer reply)
{
    ++m_count;
    if (onShutdown)
        onShutdown();
    reply(answer);
}

bool SimulatedProcessStarter::startDetached(const QString& program)
{
    if (!QFileInfo(program).isFile())
        return false;
    m_started.append(program);
    if (onStart)
        onStart(program);
    return true;
}

SimulatedPlatform::SimulatedPlatform()
{
    halvic.setClock([this] { return scheduler.nowMs(); });
}

Adapters SimulatedPlatform::adapters()
{
    return {scheduler, halvic, serialPort, messages, tray, powerOff, processStarter};
}

} // namespace brevant
