#include "app/TimeLeft.h"

#include "util/StringPrintf.h"

namespace korvane {

namespace {
constexpr Duration kSettleTime{2000};
}

std::optional<Duration> timeLeft(std::uint64_t done, std::uint64_t total, Duration elapsed) {
    if (elapsed < kSettleTime || done == 0 || done >= total) {
        return std::nullopt;
    }
    const Duration left{static_cast<Duration::rep>(static_cast<double>(elapsed.count()) *
                                                   static_cast<double>(total - done) /
                                                   static_cast<double>(done))};
    // Up to whole seconds: what is left is never shown as nothing.
    return std::chrono::ceil<std::chrono::seconds>(left);
}

std::string clockText(Duration duration) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(duration).count();
    if (seconds >= 3600) {
        return stringPrintf("%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                            static_cast<long long>(seconds / 60 % 60),
                            static_cast<long long>(seconds % 60));
    }
    return stringPrintf("%lld:%02lld", static_cast<long long>(seconds / 60),
                        static_cast<long long>(seconds % 60));
}

}  // namespace korvane
