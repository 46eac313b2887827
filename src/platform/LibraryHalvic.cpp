#include "LibraryHalvic.h"

namespace brevant {

LibraryHalvic::LibraryHalvic(const QString& libraryName)
    : m_library(libraryName)
{}

template <typename Function>
CallError LibraryHalvic::resolve(const char* symbol, Function& function)
{
    if (function)
        return std::nullopt;
    if (!m_library.isLoaded() && !m_library.load())
        return m_library.errorString();
    function = reinterpret_cast<Function>(m_library.resolve(symbol));
    if (!function)
        return QStringLiteral("Cannot resolve symbol \"%1\" in %2")
            .arg(QLatin1String(symbol), m_library.fileName());
    return std::nullopt;
}

CallError LibraryHalvic::hidHandle()
{
    if (CallError error = resolve("HidHandle", m_hidHandle))
        return error;
    m_hidHandle();
    return std::nullopt;
}

CallError LibraryHalvic::closeHandleDevice()
{
    if (CallError error = resolve("CloseHandleDevice", m_closeHandleDevice))
        return error;
    m_closeHandleDevice();
    return std::nullopt;
}

CallError LibraryHalvic::cmdOutput(int command, char* replyCode)
{
    if (CallError error = resolve("CmdOutput", m_cmdOutput))
        return error;
    m_cmdOutput(command, 0, replyCode);
    return std::nullopt;
}

CallError LibraryHalvic::cmdInput(char* statusBlock, char* secondBuffer)
{
    if (CallError error = resolve("CmdInput", m_cmdInput))
        return error;
    m_cmdInput(statusBlock, secondBuffer);
    return std::nullopt;
}

} // namespace brevant
