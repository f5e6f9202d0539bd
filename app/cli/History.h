#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/cli/Commands.h"
#include "app/cli/ConsoleSession.h"
#include "app/cli/JsonObject.h"
#include "app/cli/Outcome.h"
#include "util/AppendOnlyFile.h"

namespace korvane {

// What every line of one run says besides the controller's outcome.
struct HistoryContext {
    std::string host;
    // The tool's version.
    std::string version;
    // The command and its words, as given: "flash firmware.hex --yes".
    std::string command;
    // Set and settings: the three settings before and after go on the line.
    bool settingsCommand = false;
    // The time a line is written, in UTC, ISO 8601.
    std::function<std::string()> clock;
};

// The production history (--history FILE): one JSON line per controller and run, appended whole
// and on the disk before the next controller's result is reported. A line carries what --json
// gives for that controller, under the same names, and the time, the host, the tool's version,
// the command, the file's path and SHA-256, and for settings commands the settings before and
// after.
class History {
public:
    History(std::unique_ptr<AppendOnlyFile> file, std::string path, HistoryContext context)
        : file_(std::move(file)), path_(std::move(path)), context_(std::move(context)) {}

    // One controller's line, or the run's when none was found. Empty when written, otherwise
    // what to tell the user.
    std::string recordController(const ConsoleSession& session, const CommandAction& action,
                                 const Outcome& outcome);
    // A run that wrote to no controller: the object --json gave for it.
    std::string recordRun(JsonObject object, const CommandAction& action);

private:
    std::string append(JsonObject object, const CommandAction& action);

    std::unique_ptr<AppendOnlyFile> file_;
    std::string path_;
    HistoryContext context_;
};

// The SHA-256 of `bytes`, as 64 lowercase hex digits.
std::string sha256Hex(ByteView bytes);

// The host's name and the time now in UTC, ISO 8601.
std::string hostName();
std::string utcNow();

}  // namespace korvane
