#include "platform/qt/LibraryHalvic.h"

namespace brevant {

LibraryHalvic::LibraryHalvic(const QString& libraryName)
    : m_library(libraryName)
{}

template <typename Function>
Status LibraryHalvic::resolve(const char* symbol, Function& function)
{
    if (function)
        return Status::success();
    if (!m_library.isLoaded() && !m_library.load())
        return Status::failure(m_library.errorString());
    function = reinterpret_cast<Function>(m_library.resolve(symbol));
    if (!function)
        return Status::failure(QStringLiteral("Cannot resolve symbol \"%1\" in %2")
                                   .arg(QLatin1String(symbol), m_library.fileName()));
    return Status::success();
}

Status LibraryHalvic::hidHandle()
{
    Status status = resolve("HidHandle", m_hidHandle);
    if (status.ok())
        m_hidHandle();
    return status;
}

Status LibraryHalvic::closeHandleDevice()
{
    Status status = resolve("CloseHandleDevice", m_closeHandleDevice);
    if (status.ok())
        m_closeHandleDevice();
    return status;
}

Status LibraryHalvic::cmdOutput(int command, char* replyCode)
{
    Status status = resolve("CmdOutput", m_cmdOutput);
    if (status.ok())
        m_cmdOutput(command, 0, replyCode);
    return status;
}

Status LibraryHalvic::cmdInput(char* statusBlock, char* secondBuffer)
{
    Status status = resolve("CmdInput", m_cmdInput);
    if (status.ok())
        m_cmdInput(statusBlock, secondBuffer);
    return status;
}

} // namespace brevant
