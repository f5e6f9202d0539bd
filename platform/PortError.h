#pragma once

#include <string>

namespace korvane {

// What kind of error a serial port met, as far as the backend can tell: what a user is told
// when no controller answers.
enum class PortErrorKind {
    other,
    // This user may not open the port.
    noPermission,
    // Another program holds the port (its lock, or an exclusive open).
    inUse,
};

// An error a port reports: its kind, and the system's words for it, with the port's path.
struct PortError {
    PortErrorKind kind = PortErrorKind::other;
    std::string text;
};

}  // namespace korvane
