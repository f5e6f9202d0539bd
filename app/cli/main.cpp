// korvane-cli: the controller from a terminal, for scripts and production lines.
#include "app/cli/Terminal.h"

int main(int argc, char** argv) {
    korvane::TerminalConsole console(argc, argv);
    return korvane::runCommandLine(std::vector<std::string>(argv + 1, argv + argc), console);
}
