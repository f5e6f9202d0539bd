#include "app/cli/Commands.h"

#include <algorithm>

#include "app/cli/Verbs.h"
#include "util/StringPrintf.h"

namespace korvane {

const std::vector<Command>& commands() {
    static const std::vector<Command> table = {
        {"ports", "ports [--json]", "list the serial ports that are probed", parsePorts},
        {"info", "info [--json]", "find the controller; show its identity and settings", parseInfo},
        {"set", "set auto on|off", "switch the automatic mode", parseSet},
        {"set", "set config 1|2|3", "choose the configuration", parseSet},
        {"set", "set speed N [--kmh]", "set the speed limit: N mph (1-30) or N km/h (1-50)",
         parseSet},
        {"reset", "reset", "restart the controller", parseReset},
        {"flash", "flash FILE [--yes]", "replace the firmware with an Intel HEX file", parseFlash},
        {"verify", "verify FILE", "compare the controller's firmware with a file, by word sums",
         parseVerify},
        {"check", "check FILE [--json]", "check a firmware file and say what it holds", parseCheck},
        {"settings", "settings save FILE [--force]",
         "keep the settings in a JSON file (--force: replace it)", parseSettings},
        {"settings", "settings load FILE [--force]",
         "put back auto, config, speed (--force: any device id)", parseSettings},
    };
    return table;
}

bool takeFlag(std::vector<std::string>& arguments, std::string_view flag) {
    const auto found = std::find(arguments.begin(), arguments.end(), flag);
    if (found == arguments.end()) {
        return false;
    }
    arguments.erase(found);
    return true;
}

std::string usage() {
    std::string text =
        "usage: korvane-cli [--port PATH]... [--demo] [--fast] [--verbose] [--all [--expect N] "
        "[--json]] [--history FILE] COMMAND\n\ncommands:\n";
    for (const Command& command : commands()) {
        text += stringPrintf("  %-29s %s\n", std::string(command.synopsis).c_str(),
                             std::string(command.summary).c_str());
    }
    text +=
        "\noptions:\n"
        "  --port PATH                   probe only this port (repeatable)\n"
        "  --demo                        talk to the built-in simulated controller\n"
        "  --fast                        end each wait as soon as the reply is complete\n"
        "  --verbose                     write the log to stderr\n"
        "  --all                         run the command on every controller that answers, at "
        "once\n"
        "  --expect N                    with --all: change nothing unless N controllers answer\n"
        "  --json                        the outcome as JSON (with --all: a line per controller)\n"
        "  --history FILE                append a JSON line per controller and run to FILE\n"

        "  --version                     print the version\n"
        "  --help                        this usage; after a command, the command's own\n"
        "\ncommand switches:\n"
        "  --kmh                         set speed: N is in km/h\n"
        "  --yes                         flash: update without asking\n"
        "  --wait-back SECONDS           flash: wait this long from the restart for the controller "
        "to\n"
        "                                come back (2 to 3600; 15 without it; 0: do not wait)\n"
        "  --force                       settings save: replace the file; load: any device id "
        "or speed\n";
    return text;
}

}  // namespace korvane
