#pragma once

#include <string>
#include <string_view>

namespace halvic {

// Writes "halvic.<category>: <message>" to standard error, each distinct line once per process:
// the monitor reopens the device on every poll while the UPS is silent, and a fault that lasts
// must not flood its log.
void logOnce(std::string_view category, const std::string& message);

} // namespace halvic
