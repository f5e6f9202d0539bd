#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

class ConsoleSession;

// Wrong arguments: the reason, shown with the usage.
struct UsageError {
    std::string reason;
};

// Input that cannot be used (a firmware file that is not fit): the reason, without the usage.
struct InputError {
    std::string reason;
};

// What a command does once its arguments are checked; returns the exit status.
using CommandAction = std::function<int(ConsoleSession&)>;

struct Command {
    std::string_view name;
    std::string_view synopsis;
    std::string_view summary;
    // Checks the arguments after the command's name; throws UsageError.
    std::function<CommandAction(const std::vector<std::string>& arguments)> parse;
};

const std::vector<Command>& commands();
std::string usage();

}  // namespace korvane
