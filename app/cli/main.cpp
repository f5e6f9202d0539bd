// korvane-cli: the controller from a terminal, for scripts and production lines.
#include "app/cli/Console.h"

int main(int argc, char** argv) {
    return korvane::runOnTerminal(argc, argv);
}
