#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/RunLoop.h"

namespace korvane {

class MainViewControl;

// The firmware bar as every front end draws it.
struct FirmwareBar {
    std::uint64_t value = 0;
    // Never 0: some toolkits draw a range of nothing as a busy bar, and idle means still.
    std::uint64_t maximum = 1;
    // "56% - 0:02 left" while records are programmed, otherwise "100%"; empty before any update.
    std::string text;
};

// Follows an update's records to give the bar and the time left from the rate so far.
class FirmwareProgress {
public:
    // The bar for what `control` says now.
    FirmwareBar bar(const MainViewControl& control);

private:
    std::optional<Duration> programmingSince_;
};

}  // namespace korvane
