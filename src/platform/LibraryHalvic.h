#pragma once

#include "HalvicApi.h"

#include <QLibrary>

// The library's functions use the calling convention of the platform's system libraries.
#if defined(_WIN32) && !defined(_WIN64)
#define BREVANT_HALVIC_CALL __stdcall
#else
#define BREVANT_HALVIC_CALL
#endif

namespace brevant {

// The Halvic library loaded by its bare name from the platform's library search path (beside the
// executable: the build gives executables an $ORIGIN run path). Loading and resolving happen at
// the first call of each function and are tried again at every call until they succeed, so a
// call that cannot be made reports the platform's error text every time.
class LibraryHalvic : public HalvicApi
{
public:
    explicit LibraryHalvic(const QString& libraryName = QStringLiteral("Halvic"));

    CallError hidHandle() override;
    CallError closeHandleDevice() override;
    CallError cmdOutput(int command, char* replyCode) override;
    CallError cmdInput(char* statusBlock, char* secondBuffer) override;

private:
    template <typename Function>
    CallError resolve(const char* symbol, Function& function);

    QLibrary m_library;
    void(BREVANT_HALVIC_CALL* m_hidHandle)() = nullptr;
    void(BREVANT_HALVIC_CALL* m_closeHandleDevice)() = nullptr;
    void(BREVANT_HALVIC_CALL* m_cmdOutput)(int command, int zero, char* replyCode) = nullptr;
    void(BREVANT_HALVIC_CALL* m_cmdInput)(char* statusBlock, char* secondBuffer) = nullptr;
};

} // namespace brevant
