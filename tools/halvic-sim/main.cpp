// halvic-sim online|onbattery|lowbattery|lowonline|silent | status | off-log
//
// Finds the state file the way libHalvic does, with this program's folder in the place of the
// library's: HALVIC_SIM_FILE, else sim_file in the configuration (HALVIC_CONF, Halvic.conf beside
// this program, /etc/brevant and the user's folder), else halvic-sim.state beside this program
// when its folder is writable (a build tree), else in the user's configuration folder.
#include "Config.h"
#include "SimStateFile.h"

#include <array>
#include <iostream>
#include <string>
#include <string_view>
#include <unistd.h>

namespace {

std::string programDirectory()
{
    std::array<char, 4096> path{};
    const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
    const std::string program(path.data(), length > 0 ? static_cast<size_t>(length) : 0);
    const auto slash = program.rfind('/');
    return slash == std::string::npos ? std::string(".") : program.substr(0, slash);
}

int usage()
{
    std::cerr << "usage: halvic-sim online|onbattery|lowbattery|lowonline|silent\n"
                 "       halvic-sim status    print the simulated UPS's state\n"
                 "       halvic-sim off-log   print every UPS-off command it received\n";
    return 2;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2)
        return usage();
    const std::string_view command = argv[1];
    const halvic::SimStateFile file(halvic::loadConfig(programDirectory()).simFile);

    if (command == "status") {
        std::cout << halvic::simStateName(file.read()) << '\n';
        return 0;
    }
    if (command == "off-log") {
        for (const std::string& line : file.offLog())
            std::cout << line << '\n';
        return 0;
    }
    const auto state = halvic::simStateFromName(command);
    if (!state)
        return usage();
    if (!file.write(*state)) {
        std::cerr << "halvic-sim: cannot write " << file.path() << '\n';
        return 1;
    }
    return 0;
}
