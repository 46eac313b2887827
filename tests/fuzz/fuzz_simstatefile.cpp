// libFuzzer target: the simulated UPS's state file and its UPS-off log, as any writer may have
// left them. A file that holds no known state is a silent UPS, never an error.
#include "SimStateFile.h"

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

std::string scratchPath()
{
    std::string dir =
        ::access("/dev/shm", W_OK) == 0 ? "/dev/shm/brevant-fuzz-XXXXXX" : "/tmp/brevant-fuzz-XXXXXX";
    if (::mkdtemp(dir.data()) == nullptr)
        broken("no scratch directory");
    return dir + "/halvic-sim.state";
}

void replace(const std::string& path, const uint8_t* data, size_t size)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0 || (size > 0 && ::write(fd, data, size) != ssize_t(size)) || ::close(fd) != 0)
        broken("cannot write a scratch file");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const halvic::SimStateFile file(scratchPath());
    replace(file.path(), data, size);
    replace(file.offLogPath(), data, size);

    const halvic::SimState state = file.read();
    if (halvic::simStateFromName(halvic::simStateName(state)) != state)
        broken("a state whose name does not name it");
    const auto lines = file.offLog();
    size_t bytes = 0;
    for (const std::string& line : lines)
        bytes += line.size() + 1;
    if (bytes < size || bytes > size + 1)
        broken("the UPS-off log lines are not the file's lines");
    return 0;
}
