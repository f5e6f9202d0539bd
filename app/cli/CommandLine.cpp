#include "app/cli/CommandLine.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <map>

#include "util/StringPrintf.h"

namespace korvane {

namespace {

constexpr int kShortestWaitBackSeconds = 2;
constexpr int kLongestWaitBackSeconds = 3600;

// The commands and forms of commands chosen, from the program down: "set", "speed".
std::vector<const CLI::App*> chain(const CLI::App* leaf) {
    std::vector<const CLI::App*> apps;
    for (const CLI::App* app = leaf; app->get_parent() != nullptr; app = app->get_parent()) {
        apps.insert(apps.begin(), app);
    }
    return apps;
}

std::vector<const CLI::Option*> switchesOf(const CLI::App* app) {
    return app->get_options([app](const CLI::Option* option) {
        return option->nonpositional() && option != app->get_help_ptr() &&
               !option->get_group().empty();
    });
}

// "SECONDS": the type's name without what its check says.
std::string typeName(const CLI::Option* option) {
    const std::string type = option->get_type_name();
    return type.substr(0, type.find(':'));
}

// "--wait-back SECONDS", "--kmh"
std::string switchName(const CLI::Option* option) {
    const std::string type = typeName(option);
    return option->get_lnames().empty()
               ? option->get_name()
               : "--" + option->get_lnames().front() + (type.empty() ? "" : " " + type);
}

// The program's definitions of its commands and options, and what it makes of them: the
// invocation and its help.
class Parser {
public:
    Parser();
    Invocation parse(const std::vector<std::string>& arguments);

private:
    // A command, or a form of one; `chosen` says what choosing it asks for.
    CLI::App* command(CLI::App& parent, const std::string& name, const std::string& meaning,
                      std::function<CommandOptions()> chosen = nullptr);
    CLI::App* file(CLI::App* command, std::string& target);
    // "set speed N [--kmh]", with the switches of the commands it is a form of.
    std::string synopsis(const CLI::App* leaf) const;
    std::string help() const;
    std::string typed(const CLI::App* leaf) const;

    CLI::App app_{"The Korvane motor controller from a terminal.", "korvane-cli"};
    Invocation invocation_;
    std::string onOff_;
    SetOptions set_;
    FlashOptions flash_;
    VerifyOptions verify_;
    CheckOptions check_;
    SettingsOptions settings_;
    bool version_ = false;
    std::map<const CLI::App*, std::function<CommandOptions()>> chosen_;
};

// Each command's help starts with its real usage: "korvane-cli flash FILE [--yes] ...".
class Help final : public CLI::Formatter {
public:
    explicit Help(std::function<std::string(const CLI::App*)> usage) : usage_(std::move(usage)) {}
    std::string make_usage(const CLI::App* app, std::string) const override {
        return "usage: " + usage_(app) + "\n";
    }

private:
    std::function<std::string(const CLI::App*)> usage_;
};

Parser::Parser() {
    app_.formatter(std::make_shared<Help>([this](const CLI::App* app) { return synopsis(app); }));
    app_.set_help_flag("-h,--help", "this usage; after a command, the command's own");
    FrontEndOptions& frontEnd = invocation_.frontEnd;
    addPortOptions(app_, frontEnd);
    app_.add_flag("--fast", frontEnd.fast, "end each wait as soon as the reply is complete");
    app_.add_flag("--verbose", frontEnd.verbose, "write the log to stderr");
    CLI::Option* all = app_.add_flag("--all", invocation_.all,
                                     "run the command on every controller that answers, at once");
    app_.add_option("--expect", invocation_.expect,
                    "with --all: change nothing unless N controllers answer")
        ->type_name("N")
        ->check(CLI::Range(1, 9999))
        ->needs(all);
    app_.add_flag("--json", invocation_.json,
                  "the outcome as JSON (with --all: a line per controller), progress as events");
    CLI::Option* history = app_.add_option("--history", invocation_.history,
                                           "append a JSON line per controller and run to FILE")
                               ->type_name("FILE");
    app_.add_flag("--version", version_, "print the version");

    command(app_, "ports", "list the serial ports that are probed", [] { return PortsOptions{}; })
        ->excludes(all)
        ->excludes(history);
    command(app_, "info", "find the controller; show its identity and settings",
            [] { return InfoOptions{}; });
    CLI::App* set = command(app_, "set", "change a setting");
    set->require_subcommand(1);
    command(*set, "auto", "switch the automatic mode",
            [this] {
                return SetOptions{Setting::autoMode, onOff_ == "on" ? 1 : 0};
            })
        ->add_option("value", onOff_)
        ->type_name("on|off")
        ->required()
        ->check(CLI::IsMember({"on", "off"}));
    command(*set, "config", "choose the configuration",
            [this] {
                return SetOptions{Setting::config, set_.value};
            })
        ->add_option("value", set_.value)
        ->type_name("1|2|3")
        ->required()
        ->check(CLI::IsMember({1, 2, 3}));
    CLI::App* speed =
        command(*set, "speed", "set the speed limit: N mph (1-30) or N km/h (1-50)", [this] {
            const int highest = set_.kmh ? kMaxSpeedKmh : kMaxSpeedMph;
            if (set_.value < kLowestSpeed || set_.value > highest) {
                throw UsageError{
                    stringPrintf("the speed in %s must be a whole number from %d to %d, not \"%d\"",
                                 set_.kmh ? "km/h" : "mph", kLowestSpeed, highest, set_.value)};
            }
            return SetOptions{Setting::speedLimit, set_.value, set_.kmh};
        });
    speed->add_option("N", set_.value)->type_name("N")->required();
    speed->add_flag("--kmh", set_.kmh, "N is in km/h");
    command(app_, "reset", "restart the controller", [] { return ResetOptions{}; });
    CLI::App* flash = file(command(app_, "flash", "replace the firmware with an Intel HEX file",
                                   [this] { return flash_; }),
                           flash_.file);
    flash->add_flag("--yes", flash_.yes, "update without asking");
    flash
        ->add_option("--wait-back", flash_.waitBackSeconds,
                     "wait this long from the restart for the controller to come back (2 to "
                     "3600; 15 without it; 0: do not wait)")
        ->type_name("SECONDS")
        ->check(CLI::Validator(
            [](std::string& given) -> std::string {
                const int seconds = std::atoi(given.c_str());
                const bool fits = given == "0" || (seconds >= kShortestWaitBackSeconds &&
                                                   seconds <= kLongestWaitBackSeconds &&
                                                   std::to_string(seconds) == given);
                return fits ? "" : "takes 0 (no wait) or 2 to 3600 seconds, not \"" + given + "\"";
            },
            "SECONDS"));
    file(command(app_, "verify", "compare the controller's firmware with a file, by word sums",
                 [this] { return verify_; }),
         verify_.file);
    file(command(app_, "check", "check a firmware file and say what it holds",
                 [this] { return check_; }),
         check_.file)
        ->excludes(all)
        ->excludes(history);
    CLI::App* settings = command(app_, "settings", "keep the settings in a file, or put them back");
    settings->require_subcommand(1);
    settings->add_flag("--force", settings_.force,
                       "save: replace the file; load: any device id or speed");
    file(command(*settings, "save", "keep the settings in a JSON file",
                 [this] { return settings_; }),
         settings_.file)
        ->excludes(all);
    file(command(*settings, "load", "put back auto, config, speed",
                 [this] {
                     return SettingsOptions{true, settings_.file, settings_.force};
                 }),
         settings_.file);
}

CLI::App* Parser::command(CLI::App& parent, const std::string& name, const std::string& meaning,
                          std::function<CommandOptions()> chosen) {
    CLI::App* sub = parent.add_subcommand(name, meaning);
    sub->set_help_flag("-h,--help", "this command's usage");
    // The program's options may follow the command.
    sub->fallthrough();
    chosen_[sub] = std::move(chosen);
    return sub;
}

CLI::App* Parser::file(CLI::App* command, std::string& target) {
    command->add_option("FILE", target)->type_name("FILE")->required();
    return command;
}

std::string Parser::synopsis(const CLI::App* leaf) const {
    if (leaf == &app_) {
        std::string text = "korvane-cli";
        for (const CLI::Option* option : switchesOf(&app_)) {
            const bool repeated =
                option->get_multi_option_policy() == CLI::MultiOptionPolicy::TakeAll;
            text += " [" + switchName(option) + "]" + (repeated ? "..." : "");
        }
        return text + " COMMAND";
    }
    std::string text = "korvane-cli";
    std::string switches;
    for (const CLI::App* app : chain(leaf)) {
        text += " " + app->get_name();
        for (const CLI::Option* option :
             app->get_options([](const CLI::Option* each) { return each->get_positional(); })) {
            text += " " + typeName(option);
        }
        for (const CLI::Option* option : switchesOf(app)) {
            switches += " [" + switchName(option) + "]";
        }
    }
    const auto forms = leaf->get_subcommands({});
    if (!forms.empty()) {
        std::string names;
        for (const CLI::App* form : forms) {
            names += (names.empty() ? "" : "|") + form->get_name();
        }
        text += " " + names + " ...";
    }
    return text + switches;
}

// Every command and form of one, each before its forms.
std::vector<const CLI::App*> commandsBelow(const CLI::App* app) {
    std::vector<const CLI::App*> found;
    for (const CLI::App* sub : app->get_subcommands({})) {
        found.push_back(sub);
        const auto below = commandsBelow(sub);
        found.insert(found.end(), below.begin(), below.end());
    }
    return found;
}

// "set speed"
std::string words(const CLI::App* app) {
    std::string text;
    for (const CLI::App* each : chain(app)) {
        text += (text.empty() ? "" : " ") + each->get_name();
    }
    return text;
}

std::string Parser::help() const {
    const auto line = [](const std::string& name, const std::string& meaning) {
        return name.size() < 30 ? stringPrintf("  %-29s %s\n", name.c_str(), meaning.c_str())
                                : "  " + name + "\n" + std::string(32, ' ') + meaning + "\n";
    };
    std::string text = "usage: " + synopsis(&app_) + "\n\ncommands:\n";
    for (const CLI::App* leaf : commandsBelow(&app_)) {
        if (leaf->get_subcommands({}).empty()) {
            text += line(synopsis(leaf).substr(std::string("korvane-cli ").size()),
                         leaf->get_description());
        }
    }
    text += "\noptions:\n";
    for (const CLI::Option* option : switchesOf(&app_)) {
        text += line(switchName(option), option->get_description());
    }
    text += line("--help", app_.get_help_ptr()->get_description()) + "\ncommand switches:\n";
    for (const CLI::App* command : commandsBelow(&app_)) {
        for (const CLI::Option* option : switchesOf(command)) {
            text += line(switchName(option), words(command) + ": " + option->get_description());
        }
    }
    return text;
}

std::string Parser::typed(const CLI::App* leaf) const {
    std::string names;
    std::string values;
    std::string switches;
    for (const CLI::App* app : chain(leaf)) {
        names += (names.empty() ? "" : " ") + app->get_name();
        for (const CLI::Option* option : app->get_options()) {
            if (option->count() == 0 || option == app->get_help_ptr()) {
                continue;
            }
            std::string given = option->get_positional() || typeName(option).empty()
                                    ? ""
                                    : " " + option->results().front();
            (option->get_positional() ? values : switches) +=
                option->get_positional() ? " " + option->results().front()
                                         : " --" + option->get_lnames().front() + given;
        }
    }
    return names + values + switches;
}

Invocation Parser::parse(const std::vector<std::string>& arguments) {
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    try {
        app_.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        const CLI::App* shown = &app_;
        while (!shown->get_subcommands().empty()) {
            shown = shown->get_subcommands().front();
        }
        invocation_.answered = shown == &app_ ? help() : shown->help();
        return invocation_;
    } catch (const CLI::ExtrasError& error) {
        if (app_.get_subcommands().empty() && !app_.remaining().empty()) {
            throw UsageError{"unknown command \"" + app_.remaining().front() + "\""};
        }
        throw UsageError{error.what()};
    } catch (const CLI::ParseError& error) {
        throw UsageError{error.what()};
    }
    if (version_) {
        invocation_.answered = "korvane-cli " KORVANE_VERSION "\n";
        return invocation_;
    }
    const CLI::App* leaf = &app_;
    while (!leaf->get_subcommands().empty()) {
        leaf = leaf->get_subcommands().front();
    }
    if (leaf == &app_) {
        throw UsageError{"no command given"};
    }
    invocation_.typed = typed(leaf);
    invocation_.command = chosen_.at(leaf)();
    return invocation_;
}

}  // namespace

Invocation parseCommandLine(const std::vector<std::string>& arguments) {
    return Parser().parse(arguments);
}

}  // namespace korvane
