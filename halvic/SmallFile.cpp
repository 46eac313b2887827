#include "SmallFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace halvic {

std::optional<std::string> readSmallFile(const std::string& path, size_t maxBytes)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat info
    {};
    std::optional<std::string> contents;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && static_cast<size_t>(info.st_size) <= maxBytes) {
        // One byte of room shows a file that grew past the limit since fstat.
        std::string buffer(maxBytes + 1, '\0');
        size_t length = 0;
        ssize_t got = 0;
        while (length < buffer.size() &&
               ((got = ::read(fd, buffer.data() + length, buffer.size() - length)) > 0 ||
                (got < 0 && errno == EINTR)))
            length += got > 0 ? static_cast<size_t>(got) : 0;
        if (got >= 0 && length <= maxBytes)
            contents = buffer.substr(0, length);
    }
    ::close(fd);
    return contents;
}

} // namespace halvic
