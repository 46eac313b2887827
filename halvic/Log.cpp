#include "Log.h"

#include <iostream>
#include <mutex>
#include <set>

namespace halvic {

void logOnce(std::string_view category, const std::string& message)
{
    static std::mutex mutex;
    static std::set<std::string> said;
    std::string line = "halvic.";
    line += category;
    line += ": ";
    line += message;
    const std::lock_guard lock(mutex);
    if (said.insert(line).second)
        std::cerr << line << '\n';
}

} // namespace halvic
