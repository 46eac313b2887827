// The C functions the monitor calls; everything else in the library stays hidden.
#include "Device.h"

#include <dlfcn.h>
#include <string>

#define HALVIC_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

halvic::Device& device()
{
    static halvic::Device instance;
    return instance;
}

// Halvic.conf lives beside the library, wherever the program that loaded it is.
std::string libraryDirectory()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&libraryDirectory), &info) == 0 || info.dli_fname == nullptr)
        return ".";
    const std::string path = info.dli_fname;
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

} // namespace

HALVIC_EXPORT void HidHandle(void)
{
    device().open(libraryDirectory());
}

HALVIC_EXPORT void CloseHandleDevice(void)
{
    device().close();
}

HALVIC_EXPORT void CmdOutput(int command, int /*zero*/, char* reply)
{
    device().output(command, reply);
}

HALVIC_EXPORT void CmdInput(char* status, char* /*second*/)
{
    device().input(status);
}
