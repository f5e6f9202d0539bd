#pragma once

#include <string>

namespace korvane {

// The time now in UTC, ISO 8601 to the second: "2026-03-01T08:00:00Z".
std::string utcNow();

}  // namespace korvane
