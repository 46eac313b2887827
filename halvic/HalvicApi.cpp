// The C functions the monitor calls; everything else in the library stays hidden.
#include "Device.h"

#include <dlfcn.h>
#include <halvic/Halvic.h>
#include <string>

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

extern "C" {

void HALVIC_CALL HidHandle(void)
{
    device().open(libraryDirectory());
}

void HALVIC_CALL CloseHandleDevice(void)
{
    device().close();
}

void HALVIC_CALL CmdOutput(int command, int /*zero*/, char* replyCode)
{
    device().output(command, replyCode);
}

void HALVIC_CALL CmdInput(char* statusBlock, char* /*secondBuffer*/)
{
    device().input(statusBlock);
}

int HALVIC_CALL HalvicValues(char* buffer, int size)
{
    return device().values(buffer, size);
}
}
