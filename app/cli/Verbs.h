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
CommandAction parseVerify(std::vector<std::string> arguments);
CommandAction parseSettings(std::vector<std::string> arguments);

// What a flash is about to do: "The controller on /dev/ttyACM0 (software 07) will be erased and
// programmed with firmware.hex (software 08)."
std::string updatePreamble(const std::string& controllers, const std::string& file,
                           unsigned fileSoftware);

// The controller held, as `info --json` shows it.
JsonObject describeController(const MainViewControl& control);

}  // namespace korvane
