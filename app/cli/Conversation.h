#pragma once

#include <functional>
#include <string>

namespace korvane {

class ConsoleSession;

inline constexpr int kSuccess = 0;
inline constexpr int kFailure = 1;
// Wrong usage, or a file that cannot be used.
inline constexpr int kUnusable = 2;
// The firmware is written and verified, but the restarted controller was not seen back in time.
inline constexpr int kNotBack = 3;
inline constexpr const char* kRebootNotice =
    "The device is rebooting. Click Connect button to reconnect";
inline constexpr const char* kDeviceLost = "The device is disconnected";
// A signal before any controller was found.
inline constexpr const char* kInterruptedSearch =
    "Interrupted during the search: nothing was changed";
// What a terminal user is told after a restart, instead of the window's "Click Connect button".
inline constexpr const char* kRestarted =
    "The device is rebooting.\nRun korvane-cli info again once it is back.";

// Finds the controller, then hands over: `ready` once the device is held and nothing is being
// written, `next` after every later change. An alert ends the command as a failure unless
// `onAlert` takes it. Returns at once; the session finishes with the exit status.
void converse(ConsoleSession& session, std::function<void()> ready, std::function<void()> next,
              std::function<bool(const std::string&)> onAlert = nullptr);

}  // namespace korvane
