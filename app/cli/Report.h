#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "platform/RunLoop.h"

namespace korvane {

class MainViewControl;
class Member;

// The command line's own texts, besides the controller's.
// A signal before any controller was found.
inline constexpr const char* kInterruptedSearch =
    "Interrupted during the search: nothing was changed";
// What a terminal user is told after a restart, instead of the window's "Click Connect button".
inline constexpr const char* kRestarted =
    "The device is rebooting.\nRun korvane-cli info again once it is back.";

// Seconds to the millisecond; whole ones without a fraction.
nlohmann::json seconds(Duration duration);

// One line of JSON; bytes that are not UTF-8 are replaced rather than refused.
template <typename Json>
std::string jsonLine(const Json& object) {
    return object.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// The controller held, as `info --json` shows it.
nlohmann::json controllerJson(const MainViewControl& control);

// One controller's outcome: the controller (as `info --json` shows it, when one was found and
// its settings still stand, otherwise who it was), what the command adds of its own, the result
// (ok, failed, notBack or interrupted, with the reason; with no controller why each port did not
// answer), and the time it took.
nlohmann::json describeOutcome(const Member& member);

// "Summary: /dev/ttyACM0, device BEEF, software 07, file's software 08, ok, 43.95 s"
std::string summaryLine(const Member& member);

// "The controller on /dev/ttyACM0 (software 07) will be erased and programmed with
// firmware.hex (software 08)."
std::string updatePreamble(const std::string& controllers, const std::string& file,
                           unsigned fileSoftware);

}  // namespace korvane
