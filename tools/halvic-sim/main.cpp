// halvic-sim online|onbattery|lowbattery|lowonline|fsd|silent | charge|runtime|load|drain NUMBER |
//            upsoff yes|no|secondary [REASON] | set NAME VALUE | unset NAME | status | off-log |
//            --help | --version
//
// Finds the state file the way libHalvic does, with this program's folder in the place of the
// library's: HALVIC_SIM_FILE, else sim_file in the configuration (HALVIC_CONF, Halvic.conf beside
// this program, /etc/brevant and the user's folder), else halvic-sim.state beside this program
// when its folder is writable (a build tree), else in the user's configuration folder.
#include "Config.h"
#include "InstallLayout.h"
#include "SimStateFile.h"

#include <array>
#include <chrono>
#include <halvic/Halvic.h>
#include <iostream>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

std::string programDirectory()
{
    std::array<char, 4096> path{};
    const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
    const std::string program(path.data(), length > 0 ? static_cast<size_t>(length) : 0);
    const auto slash = program.rfind('/');
    return slash == std::string::npos ? std::string(".") : program.substr(0, slash);
}

constexpr const char* Usage =
    "usage: halvic-sim online|onbattery|lowbattery|lowonline|fsd|silent\n"
    "       halvic-sim charge PERCENT      battery.charge, 0 to 100\n"
    "       halvic-sim runtime SECONDS     battery.runtime\n"
    "       halvic-sim load PERCENT        ups.load\n"
    "       halvic-sim drain PERCENT       how much charge is lost per second on battery\n"
    "       halvic-sim upsoff yes|no|secondary [REASON]\n"
    "                                      whether the UPS can be switched off (REASON with no)\n"
    "       halvic-sim set NAME VALUE      any other value, e.g. input.voltage 230\n"
    "       halvic-sim unset NAME          the UPS no longer reports NAME\n"
    "       halvic-sim status              print the simulated UPS's state and values\n"
    "       halvic-sim off-log             print every UPS-off command it received\n"
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
                 "Values are named as Network UPS Tools names them and libHalvic reports them. Before the\n"
                 "first call the UPS is online, 100 % charged, 1800 s runtime, 20 % load. On battery\n"
                 "(onbattery, lowbattery) the charge falls by the drain (0.1 % per second unless set) down\n"
                 "to 0, and the runtime with it in proportion.\n\n"
                 "upsoff no makes the UPS one that cannot be switched off: libHalvic says so with its\n"
                 "values and UPS-off commands go unanswered; upsoff secondary declines them as another\n"
                 "computer's job. Until set, libHalvic cannot tell (unset halvic.ups_off to go back).\n\n"
              << Usage;
    return 0;
}

std::optional<double> numberIn(std::string_view text, double lowest, double highest)
{
    const auto value = halvic::valueNumberFromText(text);
    return value && *value >= lowest && *value <= highest ? value : std::nullopt;
}

// drain and since are kept in the state file beside the values.
bool isSettableName(std::string_view name)
{
    return halvic::isValueName(name) && name != "drain" && name != "since";
}

struct NumberCommand
{
    std::string_view command;
    const char* name;
    double highest;
    int decimals;
};

constexpr std::array<NumberCommand, 3> NumberCommands{{{"charge", "battery.charge", 100, 1},
                                                       {"runtime", "battery.runtime", 1e7, 0},
                                                       {"load", "ups.load", 1000, 1}}};

constexpr const char* DefaultNoReason = "the simulated UPS is set so that it cannot be switched off";

// A reason goes only with "no".
bool setUpsOff(halvic::SimUps& ups, std::string_view answer, std::string_view reason)
{
    const bool no = answer == HALVIC_UPS_OFF_NO;
    if (!no && answer != HALVIC_UPS_OFF_YES && answer != HALVIC_UPS_OFF_SECONDARY)
        return false;
    if (!reason.empty() && (!no || !halvic::isValueText(reason)))
        return false;
    ups.set(HALVIC_VALUE_UPS_OFF, std::string(answer));
    ups.set(HALVIC_VALUE_UPS_OFF_REASON, no ? std::string(reason.empty() ? DefaultNoReason : reason) : "");
    return true;
}

// Changes the simulated UPS as the arguments say; false for arguments that say nothing sensible.
bool change(halvic::SimUps& ups, const std::vector<std::string_view>& arguments)
{
    const std::string_view command = arguments.at(0);
    if (arguments.size() == 1) {
        const auto state = halvic::simStateFromName(command);
        if (state)
            ups.state = *state;
        return state.has_value();
    }
    if (arguments.size() == 2 && command == "drain") {
        const auto rate = numberIn(arguments[1], 0, 100);
        if (rate)
            ups.drainPercentPerSecond = *rate;
        return rate.has_value();
    }
    if (command == "upsoff")
        return arguments.size() <= 3 &&
               setUpsOff(ups, arguments[1], arguments.size() == 3 ? arguments[2] : "");
    if (arguments.size() == 2 && command == "unset" && isSettableName(arguments[1])) {
        ups.set(std::string(arguments[1]), {});
        return true;
    }
    if (arguments.size() == 3 && command == "set" && isSettableName(arguments[1]) &&
        halvic::isValueText(arguments[2])) {
        ups.set(std::string(arguments[1]), std::string(arguments[2]));
        return true;
    }
    for (const NumberCommand& numeric : NumberCommands) {
        if (arguments.size() != 2 || command != numeric.command)
            continue;
        const auto value = numberIn(arguments[1], 0, numeric.highest);
        if (value)
            ups.set(numeric.name, halvic::valueNumber(*value, numeric.decimals));
        return value.has_value();
    }
    return false;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 2 || argc > 4)
        return usage();
    const std::string_view command = argv[1];
    if (command == "--help" || command == "-h")
        return help();
    if (command == "--version" || command == "-v") {
        std::cout << "halvic-sim " << brevant::build::Version << '\n';
        return 0;
    }
    const halvic::SimStateFile file(halvic::loadConfig(programDirectory()).simFile);

    const auto now = std::chrono::system_clock::now();
    halvic::SimUps ups = file.read(now);
    if (command == "status" && argc == 2) {
        std::cout << halvic::simStateName(ups.state) << '\n';
        for (const auto& [name, value] : ups.valuesAt(now))
            std::cout << name << ' ' << value << '\n';
        return 0;
    }
    if (command == "off-log" && argc == 2) {
        for (const std::string& line : file.offLog())
            std::cout << line << '\n';
        return 0;
    }
    ups.settle(now);
    if (!change(ups, std::vector<std::string_view>(argv + 1, argv + argc)))
        return usage();
    if (!file.write(ups)) {
        std::cerr << "halvic-sim: cannot write " << file.path() << '\n';
        return 1;
    }
    return 0;
}
