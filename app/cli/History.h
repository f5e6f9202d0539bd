#pragma once

#include <functional>
#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <string>

#include "util/AppendOnlyFile.h"
#include "util/Bytes.h"

namespace korvane {

// What every line of one run says besides the controller's outcome.
struct HistoryContext {
    std::string host;
    // The tool's version.
    std::string version;
    // The command and its words, as given: "flash firmware.hex --yes".
    std::string command;
    // The file the command reads or writes, as named, and the SHA-256 of what it read.
    std::string file;
    std::string fileSha256;
    // The time a line is written, in UTC, ISO 8601.
    std::function<std::string()> clock;
};

// The production history (--history FILE): one JSON line per controller and run, appended whole
// and on the disk before the next controller's result is reported. A line carries what --json
// gives for that controller, under the same names, and the run's facts.
class History {
public:
    History(std::unique_ptr<AppendOnlyFile> file, std::string path, HistoryContext context)
        : file_(std::move(file)), path_(std::move(path)), context_(std::move(context)) {}

    // Empty when written, otherwise what to tell the user.
    std::string append(nlohmann::json object);

private:
    std::unique_ptr<AppendOnlyFile> file_;
    std::string path_;
    HistoryContext context_;
};

// The SHA-256 of `bytes`, as 64 lowercase hex digits.
std::string sha256Hex(ByteView bytes);
// The host's name.
std::string hostName();

}  // namespace korvane
