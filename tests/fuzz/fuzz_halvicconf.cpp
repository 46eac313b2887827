// libFuzzer target: Halvic.conf as an administrator may have written it, read the way the library
// reads it at load, and the values it gives to the NUT and HID backends.
#include "Config.h"
#include "NutProtocol.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

[[noreturn]] void broken(const char* what)
{
    std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
    std::abort();
}

std::string scratchDir()
{
    std::string dir =
        ::access("/dev/shm", W_OK) == 0 ? "/dev/shm/brevant-fuzz-XXXXXX" : "/tmp/brevant-fuzz-XXXXXX";
    if (::mkdtemp(dir.data()) == nullptr)
        broken("no scratch directory");
    return dir;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string dir = scratchDir();
    static const std::string file = dir + "/Halvic.conf";
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    for (const auto& [key, value] : halvic::parseConfigText(text)) {
        if (key.find('\n') != std::string::npos || value.find('\n') != std::string::npos)
            broken("a key or value that spans lines");
    }

    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0 || (size > 0 && ::write(fd, data, size) != ssize_t(size)) || ::close(fd) != 0)
        broken("cannot write a scratch file");
    const auto environment = [](const char* name) -> std::optional<std::string> {
        if (std::string_view(name) == "HALVIC_CONF")
            return file;
        return std::nullopt;
    };
    const halvic::Config config = halvic::loadConfig(dir, environment, dir + "/system");
    if (config.files.size() + config.refusedFiles.size() > 1)
        broken("one named file read more than once");
    if (config.simFile.empty() || config.simFile.front() != '/')
        broken("a simulated UPS file that is not an absolute path");
    static_cast<void>(halvic::parseNutTarget(config.nutUps));
    static_cast<void>(halvic::parseOffDelay(config.nutOffDelay));
    static_cast<void>(halvic::parseOffDelay(config.hidOffDelay));
    return 0;
}
