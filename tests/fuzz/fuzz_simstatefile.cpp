// libFuzzer target: the simulated UPS's state file and its UPS-off log, as any writer may have
// left them. A file that holds no known state is a silent UPS, never an error.
#include "FuzzSupport.h"
#include "SimStateFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const halvic::SimStateFile file(fuzz::scratchFile("halvic-sim.state", data, size));
    fuzz::scratchFile("halvic-sim.state.off-log", data, size);

    const halvic::SimState state = file.read();
    if (halvic::simStateFromName(halvic::simStateName(state)) != state)
        fuzz::invariantBroken("a state whose name does not name it");
    const auto lines = file.offLog();
    size_t bytes = 0;
    for (const std::string& line : lines)
        bytes += line.size() + 1;
    if (bytes < size || bytes > size + 1)
        fuzz::invariantBroken("the UPS-off log lines are not the file's lines");
    return 0;
}
