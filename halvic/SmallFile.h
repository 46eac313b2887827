#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace halvic {

// The contents of a regular file of at most maxBytes; empty when the file is missing, unreadable,
// larger, or not a regular file (a device such as /dev/zero, a FIFO that would block).
std::optional<std::string> readSmallFile(const std::string& path, size_t maxBytes);

} // namespace halvic
