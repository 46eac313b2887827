#include "Log.h"

#include <iostream>
#include <mutex>
#include <set>

namespace halvic {

namespace {

struct LogStorage
{
    std::mutex mutex;
    std::set<std::string> said;
};

// Never destroyed: the device's static and a worker left to finish alone may log after every
// other static of the library is gone.
LogStorage& storage()
{
    static LogStorage* const instance = new LogStorage;
    return *instance;
}

} // namespace

void logOnce(std::string_view category, const std::string& message) noexcept
{
    try {
        std::string line = "halvic.";
        line += category;
        line += ": ";
        line += message;
        LogStorage& log = storage();
        const std::lock_guard lock(log.mutex);
        if (log.said.insert(line).second)
            std::cerr << line << '\n';
    } catch (...) {
        // Out of memory for a log line: the fault it reports is answered without it.
    }
}

} // namespace halvic
