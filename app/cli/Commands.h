#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
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

// What a command does once its arguments are checked: it starts on a session, which finishes
// later with the exit status.
struct CommandAction {
    // A command is its start, and sometimes more.
    template <typename Start>
    requires std::is_invocable_v<Start, ConsoleSession&> CommandAction(Start begin)
        : start(std::move(begin)) {}  // NOLINT(google-explicit-constructor)
    CommandAction() = default;

    std::function<void(ConsoleSession&)> start;
    // Flash without --yes: the question the user answers once before any controller is changed.
    std::string question;
    // Flash: the software version the file carries (the first data byte of its last record),
    // which is not always the version the controller reports once it runs it.
    std::optional<unsigned> fileSoftware;
    // Flash: the file's data records for the controller's memory (program memory and the
    // eprom), and those for memory it does not have, which are skipped.
    std::size_t fileRecords = 0;
    std::size_t fileRecordsSkipped = 0;
    // Flash: the file's path, as the user named it.
    std::string firmwarePath;
    // The file the command reads or writes, as the user named it, and the SHA-256 of what it
    // read (64 lowercase hex digits), for the history.
    std::string file;
    std::string fileSha256;
    // Every command but `ports` and `check` talks to a controller.
    bool needsController = true;
    // Runs on every controller with --all (`settings save` writes one file for one controller).
    bool forEveryController = true;
};

struct Command {
    std::string_view name;
    std::string_view synopsis;
    std::string_view summary;
    // Checks the arguments after the command's name; throws UsageError.
    std::function<CommandAction(const std::vector<std::string>& arguments)> parse;
};

const std::vector<Command>& commands();

// Takes `flag` out of a command's arguments; whether it was there.
bool takeFlag(std::vector<std::string>& arguments, std::string_view flag);
std::string usage();

}  // namespace korvane
