#pragma once

#include <string>
#include <vector>

#include "app/cli/Commands.h"

namespace korvane {

// Each checks the arguments after the command's name (throwing UsageError or InputError) and
// returns what the command does.
CommandAction parsePorts(const std::vector<std::string>& arguments);
CommandAction parseInfo(const std::vector<std::string>& arguments);
CommandAction parseSet(const std::vector<std::string>& arguments);
CommandAction parseReset(const std::vector<std::string>& arguments);
CommandAction parseFlash(const std::vector<std::string>& arguments);

}  // namespace korvane
