#pragma once

#include "app/cli/CommandLine.h"
#include "app/cli/Job.h"

namespace korvane {

// What each command does, its files read and checked before any port is touched. Each throws
// InputError for a file that cannot be used.
Command infoCommand();
Command setCommand(const SetOptions& options);
Command resetCommand();
Command settingsCommand(const SettingsOptions& options);
Command flashCommand(const FlashOptions& options);
Command verifyCommand(const VerifyOptions& options);
Command portsCommand();
Command checkCommand(const CheckOptions& options);

// The SHA-256 of `bytes`, as 64 lowercase hex digits.
std::string sha256Hex(ByteView bytes);

}  // namespace korvane
