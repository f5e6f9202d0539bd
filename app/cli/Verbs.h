#pragma once

#include <string>
#include <vector>

#include "app/ControllerIdentity.h"
#include "app/MainViewControl.h"
#include "app/cli/Commands.h"
#include "app/cli/JsonObject.h"

namespace korvane {

// Each checks the arguments after the command's name (throwing UsageError or InputError) and
// returns what the command does.
CommandAction parsePorts(const std::vector<std::string>& arguments);
CommandAction parseInfo(const std::vector<std::string>& arguments);
CommandAction parseSet(const std::vector<std::string>& arguments);
CommandAction parseReset(const std::vector<std::string>& arguments);
CommandAction parseFlash(std::vector<std::string> arguments);
CommandAction parseCheck(std::vector<std::string> arguments);
CommandAction parseSettings(std::vector<std::string> arguments);

// The controller held, as `info --json` shows it.
JsonObject describeController(const MainViewControl& control);

}  // namespace korvane
