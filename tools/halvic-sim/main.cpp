// halvic-sim online|onbattery|lowbattery|lowonline|fsd|silent | status | off-log | --help | --version
//
// Finds the state file the way libHalvic does, with this program's folder in the place of the
// library's: HALVIC_SIM_FILE, else sim_file in the configuration (HALVIC_CONF, Halvic.conf beside
// this program, /etc/brevant and the user's folder), else halvic-sim.state beside this program
// when its folder is writable (a build tree), else in the user's configuration folder.
#include "Config.h"
#include "InstallLayout.h"
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

constexpr const char* Usage = "usage: halvic-sim online|onbattery|lowbattery|lowonline|fsd|silent\n"
                              "       halvic-sim status    print the simulated UPS's state\n"
                              "       halvic-sim off-log   print every UPS-off command it received\n"
                              "       halvic-sim --help | --version\n";

int usage()
{
    std::cerr << Usage;
    return 2;
}

int help()
{
    std::cout << "Sets and shows the simulated UPS that libHalvic's sim backend reads (HALVIC_BACKEND=sim).\n"
                 "The state file is HALVIC_SIM_FILE, else sim_file in Halvic.conf, else halvic-sim.state\n"
                 "beside this program.\n\n"
                 "States: online (on mains), onbattery, lowbattery (on battery, battery low), lowonline (on\n"
                 "mains, battery low), fsd (on mains, and the UPS's server asks every computer to shut down\n"
                 "now: a forced shutdown), silent (not answering).\n\n"
              << Usage;
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2)
        return usage();
    const std::string_view command = argv[1];
    if (command == "--help" || command == "-h")
        return help();
    if (command == "--version" || command == "-v") {
        std::cout << "halvic-sim " << brevant::build::Version << '\n';
        return 0;
    }
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
