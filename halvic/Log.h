#pragma once

#include <string>
#include <string_view>

namespace halvic {

// Writes "halvic.<category>: <message>" to standard error, each distinct line once per process:
// the monitor reopens the device on every poll while the UPS is silent, and a fault that lasts
// must not flood its log. Safe from any thread at any time, also from destructors of statics and
// from a worker thread that outlives them; never throws.
void logOnce(std::string_view category, const std::string& message) noexcept;

} // namespace halvic
