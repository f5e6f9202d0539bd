#include "app/FirmwareProgress.h"

#include <algorithm>

#include "app/MainViewControl.h"
#include "app/TimeLeft.h"
#include "util/StringPrintf.h"

namespace korvane {

FirmwareBar FirmwareProgress::bar(const MainViewControl& control) {
    const std::uint64_t total = control.maxFirmwareCount();
    const std::uint64_t done = std::min(control.currFirmwareCount(), total);
    const Duration now = RunLoop::current().now();
    // Programming starts at record 0 of a new count.
    if (done == 0 || !programmingSince_) {
        programmingSince_ = now;
    }
    FirmwareBar shown{done, std::max<std::uint64_t>(total, 1), {}};
    if (total == 0) {
        return shown;
    }
    shown.text = stringPrintf("%llu%%", static_cast<unsigned long long>(done * 100 / total));
    // The bar keeps its values after an update; the time left means something only while records
    // are programmed.
    if (control.updateStage() == UpdateStage::programming) {
        if (const std::optional<Duration> left = timeLeft(done, total, now - *programmingSince_)) {
            shown.text += " - " + clockText(*left) + " left";
        }
    }
    return shown;
}

}  // namespace korvane
