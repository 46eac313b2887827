#include "SimStateFile.h"

#include "SmallFile.h"

#include <algorithm>
#include <array>
#include <charconv>
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

// A state and a few values are short; anything larger, or not a regular file, holds no state.
constexpr size_t MaxStateFileBytes = 4096;
constexpr size_t MaxOffLogBytes = 1 << 20;

constexpr std::string_view Charge = "battery.charge";
constexpr std::string_view Runtime = "battery.runtime";
constexpr std::string_view DrainKey = "drain";
constexpr std::string_view SinceKey = "since";

const std::string* valueOf(const UpsValues& values, std::string_view name)
{
    const auto found = std::ranges::find(values, name, &UpsValues::value_type::first);
    return found == values.end() ? nullptr : &found->second;
}

bool isOnBattery(SimState state)
{
    return state == SimState::OnBattery || state == SimState::LowBattery;
}

using Milliseconds = std::chrono::milliseconds;

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

UpsValues SimUps::valuesAt(std::chrono::system_clock::time_point now) const
{
    UpsValues current = values;
    const std::string* chargeText = valueOf(values, Charge);
    const auto charge = chargeText ? valueNumberFromText(*chargeText) : std::nullopt;
    if (!isOnBattery(state) || !charge || now <= since)
        return current;
    const double seconds = std::chrono::duration<double>(now - since).count();
    const double fallen = std::max(0.0, *charge - drainPercentPerSecond * seconds);
    for (auto& [name, value] : current) {
        if (name == Charge) {
            value = valueNumber(fallen);
        } else if (name == Runtime && *charge > 0) {
            if (const auto runtime = valueNumberFromText(value))
                value = valueNumber(*runtime * fallen / *charge, 0);
        }
    }
    return current;
}

void SimUps::settle(std::chrono::system_clock::time_point now)
{
    values = valuesAt(now);
    since = now;
}

void SimUps::set(const std::string& name, const std::string& value)
{
    const auto found = std::ranges::find(values, name, &UpsValues::value_type::first);
    if (value.empty()) {
        if (found != values.end())
            values.erase(found);
    } else if (found != values.end()) {
        found->second = value;
    } else {
        values.emplace_back(name, value);
    }
}

SimUps defaultSimUps(std::chrono::system_clock::time_point now)
{
    return SimUps{.values = {{"battery.charge", "100"},
                             {"battery.runtime", "1800"},
                             {"ups.load", "20"},
                             {"device.mfr", "Brevant"},
                             {"device.model", "Simulated UPS"}},
                  .since = now};
}

SimStateFile::SimStateFile(std::string path)
    : m_path(std::move(path))
{}

SimUps SimStateFile::read(std::chrono::system_clock::time_point now) const
{
    if (::access(m_path.c_str(), F_OK) != 0)
        return defaultSimUps(now);
    std::istringstream in(readSmallFile(m_path, MaxStateFileBytes).value_or(std::string()));
    std::string word;
    in >> word;
    SimUps ups{.state = simStateFromName(word).value_or(SimState::Silent), .since = now};
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        const auto space = line.find(' ');
        if (space == std::string::npos)
            continue;
        const std::string name = line.substr(0, space);
        const std::string value = line.substr(space + 1);
        if (name == DrainKey) {
            ups.drainPercentPerSecond =
                std::max(0.0, valueNumberFromText(value).value_or(ups.drainPercentPerSecond));
        } else if (name == SinceKey) {
            // Up to the year 2286: far enough, and no overflow in the clock's nanoseconds.
            int64_t millis = -1;
            const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), millis);
            if (error == std::errc() && end == value.data() + value.size() && millis >= 0 &&
                millis < 10'000'000'000'000)
                ups.since = std::chrono::system_clock::time_point(Milliseconds(millis));
        } else {
            ups.set(name, value);
        }
    }
    return ups;
}

bool SimStateFile::write(const SimUps& ups) const
{
    std::string text = std::string(simStateName(ups.state)) + '\n';
    for (const auto& [name, value] : ups.values)
        text += name + ' ' + value + '\n';
    const auto since = std::chrono::duration_cast<Milliseconds>(ups.since.time_since_epoch()).count();
    text += std::string(DrainKey) + ' ' + valueNumber(ups.drainPercentPerSecond, 3) + '\n';
    text += std::string(SinceKey) + ' ' + std::to_string(since) + '\n';
    const std::string temporary = m_path + ".tmp." + std::to_string(::getpid());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool written = writeAll(fd, text);
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
