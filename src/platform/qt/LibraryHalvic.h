#pragma once

#include "platform/HalvicApi.h"

#include <QLibrary>

namespace brevant {

// The Halvic library loaded by its bare name from the platform's library search path (beside the
// executable: the build gives executables an $ORIGIN run path). Loading and resolving happen at
// the first call of each function and are tried again at every call until they succeed, so a
// call that cannot be made reports the platform's error text every time.
class LibraryHalvic : public HalvicApi
{
public:
    explicit LibraryHalvic(const QString& libraryName = QStringLiteral("Halvic"));

    Status hidHandle() override;
    Status closeHandleDevice() override;
    Status cmdOutput(int command, char* replyCode) override;
    Status cmdInput(char* statusBlock, char* secondBuffer) override;
    // Looked up once the library is loaded; a library without it answers nothing, silently.
    QByteArray values() override;

private:
    template <typename Function>
    Status resolve(const char* symbol, Function& function);

    QLibrary m_library;
    HalvicHidHandleFunction m_hidHandle = nullptr;
    HalvicCloseHandleDeviceFunction m_closeHandleDevice = nullptr;
    HalvicCmdOutputFunction m_cmdOutput = nullptr;
    HalvicCmdInputFunction m_cmdInput = nullptr;
    HalvicValuesFunction m_values = nullptr;
    bool m_valuesLookedUp = false;
};

} // namespace brevant
