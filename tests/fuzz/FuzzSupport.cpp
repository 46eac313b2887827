#include "FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace fuzz {

void invariantBroken(const char* what)
{
    std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
    std::abort();
}

const std::string& scratchDir()
{
    static const struct Scratch
    {
        std::string path =
            ::access("/dev/shm", W_OK) == 0 ? "/dev/shm/brevant-fuzz-XXXXXX" : "/tmp/brevant-fuzz-XXXXXX";
        bool made = ::mkdtemp(path.data()) != nullptr;
        std::error_code ignored;
        ~Scratch() { std::filesystem::remove_all(path, ignored); } // and every file of the run in it
    } scratch;
    if (!scratch.made)
        invariantBroken("no scratch directory");
    return scratch.path;
}

std::string scratchFile(std::string_view name, const uint8_t* data, size_t size)
{
    const std::string path = scratchDir() + '/' + std::string(name);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0 || (size > 0 && ::write(fd, data, size) != ssize_t(size)) || ::close(fd) != 0)
        invariantBroken("cannot write a scratch file");
    return path;
}

} // namespace fuzz
