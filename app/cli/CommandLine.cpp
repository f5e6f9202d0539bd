#include "app/cli/CommandLine.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <map>
#include <optional>

namespace korvane {

namespace {

// Every command's lines of the usage, under its own --help.
std::string synopses(std::string_view name) {
    std::string text = "\nusage:\n";
    for (const Command& command : commands()) {
        if (command.name == name) {
            text += "  korvane-cli " + std::string(command.synopsis) + "\n";
        }
    }
    return text;
}

}  // namespace

Invocation parseCommandLine(int argc, char** argv, bool canAsk) {
    Invocation invocation;
    CLI::App app{"The Korvane motor controller from a terminal.", "korvane-cli"};
    // The program's own usage for --help; each command has CLI11's.
    app.set_help_flag();
    bool help = false;
    bool version = false;
    std::size_t expect = 0;
    app.add_flag("-h,--help", help);
    app.add_flag("--version", version);
    app.add_option("--port", invocation.options.ports)
        ->type_name("PATH")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->allow_extra_args(false);
    app.add_flag("--demo", invocation.options.demo);
    app.add_flag("--fast", invocation.options.fast);
    app.add_flag("--verbose", invocation.options.verbose);
    app.add_flag("--all", invocation.all);
    app.add_flag("--json", invocation.json);
    app.add_option("--expect", expect)->check(CLI::Range(1, 9999));
    std::string historyPath;
    app.add_option("--history", historyPath)->type_name("FILE");
    // Checked by flash, which takes it.
    std::optional<std::string> waitBack;
    app.add_option("--wait-back", waitBack)->type_name("SECONDS");
    // The switches each command takes besides its words.
    const std::map<std::string_view, std::vector<std::pair<std::string, std::string>>> switches = {
        {"ports", {{"--json", "as JSON"}}},
        {"info", {{"--json", "as JSON"}}},
        {"set", {{"--kmh", "the speed is in km/h"}}},
        {"flash", {{"--yes", "update without asking"}}},
        {"check", {{"--json", "as JSON"}}},
        {"settings", {{"--force", "save: replace the file; load: whatever the device id"}}},
    };
    // Commands with a line for each form are summed up once.
    const std::map<std::string_view, std::string> summaries = {
        {"set", "change a setting"}, {"settings", "keep the settings in a file, or put them back"}};
    std::map<std::string, std::vector<std::string>> words;
    std::map<std::string, std::map<std::string, bool>> given;
    for (const Command& command : commands()) {
        const std::string name(command.name);
        if (words.count(name) > 0) {
            continue;  // `set` and `settings` have a line for each form
        }
        const auto summary = summaries.find(command.name);
        CLI::App* sub = app.add_subcommand(
            name, summary != summaries.end() ? summary->second : std::string(command.summary));
        sub->set_help_flag("-h,--help", "this command's usage");
        sub->footer(synopses(command.name));
        // The program's options may follow the command.
        sub->fallthrough();
        sub->add_option("words", words[name], "what the command works on (see below)")
            ->expected(0, -1);
        if (const auto own = switches.find(command.name); own != switches.end()) {
            for (const auto& [flag, meaning] : own->second) {
                sub->add_flag(flag, given[name][flag], meaning);
            }
        }
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        for (CLI::App* sub : app.get_subcommands()) {
            invocation.answered = sub->help();
        }
        return invocation;
    } catch (const CLI::ExtrasError& error) {
        if (app.get_subcommands().empty() && !app.remaining().empty()) {
            throw UsageError{"unknown command \"" + app.remaining().front() + "\""};
        }
        throw UsageError{error.what()};
    } catch (const CLI::ParseError& error) {
        throw UsageError{error.what()};
    }
    if (help) {
        invocation.answered = usage();
        return invocation;
    }
    if (version) {
        invocation.answered = "korvane-cli " KORVANE_VERSION "\n";
        return invocation;
    }
    const std::vector<CLI::App*> chosen = app.get_subcommands();
    if (chosen.empty()) {
        throw UsageError{"no command given"};
    }
    const std::string name = chosen.front()->get_name();
    std::vector<std::string> arguments = words[name];
    for (const auto& [flag, on] : given[name]) {
        if (on) {
            arguments.push_back(flag);
        }
    }
    // Commands that write JSON themselves take --json as their own; for the others it asks for
    // the outcome as one JSON object, or one per controller with --all.
    if (invocation.all && takeFlag(arguments, "--json")) {
        invocation.json = true;  // `--all info --json`: a JSON line per controller
    } else if (invocation.json && !invocation.all &&
               (name == "info" || name == "check" || name == "ports")) {
        invocation.json = false;
        arguments.emplace_back("--json");
    }
    invocation.ownJson = !invocation.all && name == "info" &&
                         std::find(arguments.begin(), arguments.end(), "--json") != arguments.end();
    if (expect > 0 && !invocation.all) {
        throw UsageError{"--expect works with --all"};
    }
    if (waitBack) {
        if (name != "flash") {
            throw UsageError{"--wait-back works with flash"};
        }
        arguments.insert(arguments.end(), {"--wait-back", *waitBack});
    }
    invocation.fleet = {expect, invocation.json, invocation.options.fast};
    const auto& table = commands();
    const auto command = std::find_if(table.begin(), table.end(),
                                      [&](const Command& each) { return each.name == name; });
    invocation.action = command->parse(arguments);
    // Said before any port is touched: nobody would answer.
    if (!invocation.action.question.empty() && !canAsk) {
        throw UsageError{"no terminal to confirm the update on: add --yes"};
    }
    if (!historyPath.empty()) {
        if (!invocation.action.needsController) {
            throw UsageError{"--history keeps the commands that talk to a controller"};
        }
        // Opened now: a history that cannot be written is said before anything is sent.
        std::string problem;
        std::unique_ptr<AppendOnlyFile> file = AppendOnlyFile::open(historyPath, problem);
        if (!file) {
            throw InputError{"Could not append to the history " + historyPath + ": " + problem};
        }
        std::string typed = name;
        for (const std::string& word : arguments) {
            typed += " " + word;
        }
        invocation.history =
            std::make_shared<History>(std::move(file), historyPath,
                                      HistoryContext{hostName(), KORVANE_VERSION, typed,
                                                     name == "set" || name == "settings", nullptr});
        invocation.fleet.history = invocation.history.get();
    }
    if (invocation.all &&
        (!invocation.action.needsController || !invocation.action.forEveryController)) {
        throw UsageError{"--all works with info, set, reset, flash, verify and settings load"};
    }
    return invocation;
}

}  // namespace korvane
