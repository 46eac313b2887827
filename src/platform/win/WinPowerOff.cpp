#include "platform/SystemPowerOffFactory.h"

#include <QtGlobal>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace brevant {
namespace {

// TOKEN_PRIVILEGES declared with room for two entries: 4 + 2 x 12 = 28 bytes, and 28 is the length
// AdjustTokenPrivileges is given. Only the first entry is used.
struct TwoTokenPrivileges
{
    DWORD PrivilegeCount;
    LUID_AND_ATTRIBUTES Privileges[2];
};
static_assert(sizeof(TwoTokenPrivileges) == 28);

// A process may only shut Windows down once SeShutdownPrivilege is enabled in its own token.
void enableShutdownPrivilege()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return;
    TwoTokenPrivileges privileges{};
    LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid); // local system
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    TwoTokenPrivileges previous{};
    DWORD previousLength = 0;
    AdjustTokenPrivileges(token, FALSE, reinterpret_cast<PTOKEN_PRIVILEGES>(&privileges),
                          sizeof(TwoTokenPrivileges), reinterpret_cast<PTOKEN_PRIVILEGES>(&previous),
                          &previousLength);
    CloseHandle(token);
}

// Forced shutdown: other programs get no chance to veto it (EWX_SHUTDOWN | EWX_FORCE = 5).
class WinPowerOff : public SystemPowerOff
{
public:
    void shutDownSystem() override
    {
        enableShutdownPrivilege();
        if (!ExitWindowsEx(EWX_SHUTDOWN | EWX_FORCE, 0))
            qWarning("ExitWindowsEx failed with error %lu", GetLastError());
    }
};

} // namespace

std::unique_ptr<SystemPowerOff> createPlatformPowerOff()
{
    return std::make_unique<WinPowerOff>();
}

} // namespace brevant
