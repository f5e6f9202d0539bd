#include "util/UtcTime.h"

#include <chrono>
#include <ctime>

namespace korvane {

std::string utcNow() {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    char text[sizeof "2026-03-01T08:00:00Z"] = "";
    // One thread calls it: the static result of gmtime is not shared.
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&now));
    return text;
}

}  // namespace korvane
