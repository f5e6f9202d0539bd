// korvane-cli: the controller from a terminal, for scripts and production lines.
#include <QCoreApplication>
#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include "app/cli/Commands.h"
#include "app/cli/ConsoleSession.h"
#include "app/frontend/FrontEnd.h"
#include "platform/qt/InterruptWatch.h"

using namespace korvane;

namespace {

constexpr int kUsageStatus = 2;

struct Invocation {
    FrontEndOptions options;
    std::vector<std::string> words;
    bool help = false;
    bool version = false;
};

Invocation parseOptions(int argc, char** argv) {
    Invocation invocation;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--port") {
            if (i + 1 >= argc) {
                throw UsageError{"--port needs a path"};
            }
            invocation.options.ports.emplace_back(argv[++i]);
        } else if (argument == "--demo") {
            invocation.options.demo = true;
        } else if (argument == "--verbose") {
            invocation.options.verbose = true;
        } else if (argument == "--fast") {
            invocation.options.fast = true;
        } else if (argument == "--help" || argument == "-h") {
            invocation.help = true;
        } else if (argument == "--version") {
            invocation.version = true;
        } else {
            invocation.words.push_back(argument);
        }
    }
    return invocation;
}

CommandAction parseCommand(const std::vector<std::string>& words) {
    if (words.empty()) {
        throw UsageError{"no command given"};
    }
    const auto& table = commands();
    const auto found = std::find_if(table.begin(), table.end(), [&](const Command& command) {
        return command.name == words[0];
    });
    if (found == table.end()) {
        throw UsageError{"unknown command \"" + words[0] + "\""};
    }
    return found->parse(std::vector<std::string>(words.begin() + 1, words.end()));
}

}  // namespace

int main(int argc, char** argv) {
    Invocation invocation;
    CommandAction action;
    try {
        invocation = parseOptions(argc, argv);
        if (invocation.help) {
            std::cout << usage();
            return 0;
        }
        if (invocation.version) {
            std::cout << "korvane-cli " KORVANE_VERSION "\n";
            return 0;
        }
        action = parseCommand(invocation.words);
    } catch (const UsageError& error) {
        std::cerr << "korvane-cli: " << error.reason << "\n\n" << usage();
        return kUsageStatus;
    } catch (const InputError& error) {
        std::cerr << error.reason << '\n';
        return kUsageStatus;
    }

    ignoreBrokenPipes();
    QCoreApplication application(argc, argv);
    FrontEnd frontEnd(invocation.options, "korvane-cli");
    ConsoleSession session;
    session.control().setFastTransfers(invocation.options.fast);
    return action(session);
}
