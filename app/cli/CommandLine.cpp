#include "app/cli/CommandLine.h"

#include <CLI/CLI.hpp>

#include "app/cli/Job.h"
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

// The command, or form of one, the words chose; the program when they chose none.
const CLI::App* chosenIn(const CLI::App* app) {
    while (!app->get_subcommands().empty()) {
        app = app->get_subcommands().front();
    }
    return app;
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
    // A command, or a form of one: choosing it runs `chosen`, and `make` makes the command.
    CLI::App* command(CLI::App& parent, const std::string& name, const std::string& meaning,
                      Command (*make)(const Invocation&) = nullptr,
                      std::function<void()> chosen = nullptr);
    CLI::App* file(CLI::App* command, std::string& target);
    // "set speed N [--kmh]", with the switches of the commands it is a form of.
    std::string synopsis(const CLI::App* leaf) const;
    std::string help() const;
    std::string typed(const CLI::App* leaf) const;

    CLI::App app_{"The Korvane motor controller from a terminal.", "korvane-cli"};
    Invocation invocation_;
    std::string onOff_;
    bool version_ = false;
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

    command(app_, "ports", "list the serial ports that are probed", portsCommand)
        ->excludes(all)
        ->excludes(history);
    command(app_, "info", "find the controller; show its identity and settings", infoCommand);
    SetOptions& set = invocation_.set;
    CLI::App* setting = command(app_, "set", "change a setting");
    setting->require_subcommand(1);
    command(*setting, "auto", "switch the automatic mode", setCommand,
            [this, &set] { set.value = onOff_ == "on" ? 1 : 0; })
        ->add_option("value", onOff_)
        ->type_name("on|off")
        ->required()
        ->check(CLI::IsMember({"on", "off"}));
    command(*setting, "config", "choose the configuration", setCommand,
            [&set] { set.setting = Setting::config; })
        ->add_option("value", set.value)
        ->type_name("1|2|3")
        ->required()
        ->check(CLI::IsMember({1, 2, 3}));
    CLI::App* speed =
        command(*setting, "speed", "set the speed limit: N mph (1-30) or N km/h (1-50)", setCommand,
                [&set] {
                    set.setting = Setting::speedLimit;
                    const int highest = set.kmh ? kMaxSpeedKmh : kMaxSpeedMph;
                    if (set.value < kLowestSpeed || set.value > highest) {
                        throw UsageError{stringPrintf(
                            "the speed in %s must be a whole number from %d to %d, not \"%d\"",
                            set.kmh ? "km/h" : "mph", kLowestSpeed, highest, set.value)};
                    }
                });
    speed->add_option("N", set.value)->type_name("N")->required();
    speed->add_flag("--kmh", set.kmh, "N is in km/h");
    command(app_, "reset", "restart the controller", resetCommand);
    FlashOptions& flash = invocation_.flash;
    CLI::App* flashing =
        file(command(app_, "flash", "replace the firmware with an Intel HEX file", flashCommand),
             flash.file);
    flashing->add_flag("--yes", flash.yes, "update without asking");
    flashing
        ->add_option("--wait-back", flash.waitBackSeconds,
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
                 verifyCommand),
         invocation_.verify.file);
    file(command(app_, "check", "check a firmware file and say what it holds", checkCommand),
         invocation_.check.file)
        ->excludes(all)
        ->excludes(history);
    CLI::App* settings = command(app_, "settings", "keep the settings in a file, or put them back");
    settings->require_subcommand(1);
    settings->add_flag("--force", invocation_.settings.force,
                       "save: replace the file; load: any device id or speed");
    file(command(*settings, "save", "keep the settings in a JSON file", saveCommand),
         invocation_.settings.file)
        ->excludes(all);
    file(command(*settings, "load", "put back auto, config, speed", loadCommand),
         invocation_.settings.file);
}

CLI::App* Parser::command(CLI::App& parent, const std::string& name, const std::string& meaning,
                          Command (*make)(const Invocation&), std::function<void()> chosen) {
    CLI::App* sub = parent.add_subcommand(name, meaning);
    sub->set_help_flag("-h,--help", "this command's usage");
    // The program's options may follow the command.
    sub->fallthrough();
    if (make != nullptr) {
        // Once every word is read, and for the command chosen alone.
        sub->callback([this, make, chosen = std::move(chosen)] {
            if (chosen) {
                chosen();
            }
            invocation_.make = make;
        });
    }
    return sub;
}

CLI::App* Parser::file(CLI::App* command, std::string& target) {
    command->add_option("FILE", target)->type_name("FILE")->required();
    return command;
}

std::string Parser::synopsis(const CLI::App* leaf) const {
    std::string text = "korvane-cli";
    if (leaf == &app_) {
        for (const CLI::Option* option : switchesOf(&app_)) {
            const bool repeated =
                option->get_multi_option_policy() == CLI::MultiOptionPolicy::TakeAll;
            text += " [" + switchName(option) + "]" + (repeated ? "..." : "");
        }
        return text + " COMMAND";
    }
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
    std::string forms;
    for (const CLI::App* form : leaf->get_subcommands({})) {
        forms += (forms.empty() ? " " : "|") + form->get_name();
    }
    return text + (forms.empty() ? "" : forms + " ...") + switches;
}

std::string Parser::help() const {
    const auto line = [](const std::string& name, const std::string& meaning) {
        return name.size() < 30 ? stringPrintf("  %-29s %s\n", name.c_str(), meaning.c_str())
                                : "  " + name + "\n" + std::string(32, ' ') + meaning + "\n";
    };
    std::string commands;
    std::string switches;
    for (const CLI::App* command : app_.get_subcommands({})) {
        std::vector<const CLI::App*> forms = command->get_subcommands({});
        forms.insert(forms.begin(), command);
        for (const CLI::App* form : forms) {
            if (form->get_subcommands({}).empty()) {
                commands += line(synopsis(form).substr(std::string("korvane-cli ").size()),
                                 form->get_description());
            }
            const std::string words =
                (form == command ? "" : command->get_name() + " ") + form->get_name();
            for (const CLI::Option* option : switchesOf(form)) {
                switches += line(switchName(option), words + ": " + option->get_description());
            }
        }
    }
    std::string options;
    for (const CLI::Option* option : switchesOf(&app_)) {
        options += line(switchName(option), option->get_description());
    }
    return "usage: " + synopsis(&app_) + "\n\ncommands:\n" + commands + "\noptions:\n" + options +
           line("--help", app_.get_help_ptr()->get_description()) + "\ncommand switches:\n" +
           switches;
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
            if (option->get_positional()) {
                values += " " + option->results().front();
            } else {
                switches += " --" + option->get_lnames().front() +
                            (typeName(option).empty() ? "" : " " + option->results().front());
            }
        }
    }
    return names + values + switches;
}

Invocation Parser::parse(const std::vector<std::string>& arguments) {
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    try {
        app_.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        const CLI::App* shown = chosenIn(&app_);
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
    if (invocation_.make == nullptr) {
        throw UsageError{"no command given"};
    }
    invocation_.typed = typed(chosenIn(&app_));
    return invocation_;
}

}  // namespace

Invocation parseCommandLine(const std::vector<std::string>& arguments) {
    return Parser().parse(arguments);
}

}  // namespace korvane
