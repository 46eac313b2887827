#include "SimStateFile.h"

#include "SmallFile.h"

#include <array>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sstream>
#include <unistd.h>

namespace halvic {

namespace {

constexpr std::array<std::string_view, 6> StateNames{"online",    "onbattery", "lowbattery",
                                                     "lowonline", "fsd",       "silent"};

bool writeAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t written = ::write(fd, data.data(), data.size());
        if (written < 0)
            return false;
        data.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

// A state word is short; anything larger, or not a regular file, holds no state.
constexpr size_t MaxStateFileBytes = 256;
constexpr size_t MaxOffLogBytes = 1 << 20;

std::string firstWord(const std::string& path)
{
    std::istringstream in(readSmallFile(path, MaxStateFileBytes).value_or(std::string()));
    std::string word;
    in >> word;
    return word;
}

} // namespace

std::optional<SimState> simStateFromName(std::string_view name)
{
    for (size_t i = 0; i < StateNames.size(); ++i) {
        if (StateNames[i] == name)
            return static_cast<SimState>(i);
    }
    return std::nullopt;
}

std::string_view simStateName(SimState state)
{
    return StateNames.at(static_cast<size_t>(state));
}

SimStateFile::SimStateFile(std::string path)
    : m_path(std::move(path))
{}

SimState SimStateFile::read() const
{
    if (::access(m_path.c_str(), F_OK) != 0)
        return SimState::Online;
    return simStateFromName(firstWord(m_path)).value_or(SimState::Silent);
}

bool SimStateFile::write(SimState state) const
{
    const std::string temporary = m_path + ".tmp." + std::to_string(::getpid());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool written = writeAll(fd, std::string(simStateName(state)) + '\n');
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(temporary.c_str(), m_path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

bool SimStateFile::logSwitchOff(std::chrono::system_clock::time_point when) const
{
    const int fd = ::open(offLogPath().c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool written = writeAll(fd, millisecondTimestamp(when) + " UPS-off\n");
    return ::close(fd) == 0 && written;
}

std::vector<std::string> SimStateFile::offLog() const
{
    std::vector<std::string> lines;
    std::istringstream in(readSmallFile(offLogPath(), MaxOffLogBytes).value_or(std::string()));
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string millisecondTimestamp(std::chrono::system_clock::time_point when)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count() % 1000;
    std::tm local{};
    ::localtime_r(&seconds, &local);
    std::array<char, 32> text{};
    const size_t length = std::strftime(text.data(), text.size(), "%Y-%m-%d %H:%M:%S", &local);
    std::snprintf(text.data() + length, text.size() - length, ".%03d", static_cast<int>(millis));
    return text.data();
}

} // namespace halvic
