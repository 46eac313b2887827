#pragma once

// Helpers shared by the libFuzzer targets, with Qt or without: stopping on a broken invariant, and
// scratch files for the parsers that read from disk.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace fuzz {

// A broken invariant: stops the run like a sanitizer report, so that libFuzzer keeps the input.
[[noreturn]] void invariantBroken(const char* what);
// A directory of this process (in memory when /dev/shm is writable), removed at exit.
const std::string& scratchDir();
// Replaces the file <scratchDir>/<name> with the bytes and returns its path.
std::string scratchFile(std::string_view name, const uint8_t* data, size_t size);

} // namespace fuzz
