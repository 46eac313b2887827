#include "platform/qt/LibraryHalvic.h"

#include <algorithm>

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

QByteArray LibraryHalvic::values()
{
    if (!m_valuesLookedUp && m_library.isLoaded()) {
        m_valuesLookedUp = true;
        m_values = reinterpret_cast<HalvicValuesFunction>(m_library.resolve("HalvicValues"));
    }
    if (!m_values)
        return {};
    // Zeroed, with a byte the library never writes: an answer that overstates its length still
    // ends at the first zero byte.
    QByteArray buffer(HALVIC_VALUES_BUFFER_SIZE + 1, '\0');
    const int written = m_values(buffer.data(), HALVIC_VALUES_BUFFER_SIZE);
    buffer.truncate(std::clamp(written, 0, int(HALVIC_VALUES_BUFFER_SIZE) - 1));
    if (const qsizetype zero = buffer.indexOf('\0'); zero >= 0)
        buffer.truncate(zero);
    return buffer;
}

} // namespace brevant
