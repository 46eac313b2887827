// libFuzzer target: the simulated UPS's state file and its UPS-off log, as any writer may have
// left them. A file that holds no known state is a silent UPS, never an error, and its values
// never break the buffer they are written to.
#include "FuzzSupport.h"
#include "SimStateFile.h"

#include <array>
#include <chrono>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const halvic::SimStateFile file(fuzz::scratchFile("halvic-sim.state", data, size));
    fuzz::scratchFile("halvic-sim.state.off-log", data, size);

    const auto now = std::chrono::system_clock::now();
    const halvic::SimUps ups = file.read(now);
    if (halvic::simStateFromName(halvic::simStateName(ups.state)) != ups.state)
        fuzz::invariantBroken("a state whose name does not name it");
    std::array<char, 64> buffer{};
    const int written = halvic::writeValueLines(ups.valuesAt(now + std::chrono::hours(1)), buffer.data(), 64);
    if (written < 0 || written > 63 || buffer[static_cast<size_t>(written)] != '\0')
        fuzz::invariantBroken("the values overran their buffer or lost their terminator");
    const auto lines = file.offLog();
    size_t bytes = 0;
    for (const std::string& line : lines)
        bytes += line.size() + 1;
    if (bytes < size || bytes > size + 1)
        fuzz::invariantBroken("the UPS-off log lines are not the file's lines");
    return 0;
}
