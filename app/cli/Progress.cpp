#include "app/cli/Progress.h"

#include <ostream>

#include "app/TimeLeft.h"

namespace korvane {

namespace {
constexpr int kBarWidth = 30;
}

Duration ProgressReport::elapsed() const {
    return start_ ? RunLoop::current().now() - *start_ : Duration{0};
}

std::optional<Duration> ProgressReport::left(std::uint64_t done, std::uint64_t total) const {
    return timeLeft(done, total, elapsed());
}

void ProgressReport::update(std::uint64_t done, std::uint64_t total) {
    if (total == 0) {
        return;
    }
    if (!start_) {
        start_ = RunLoop::current().now();
    }
    const int percent = static_cast<int>(done * 100 / total);
    const std::optional<Duration> remaining = left(done, total);
    // Once there is a rate to go by; the last line, with nothing left, keeps the time it took.
    timed_ = timed_ || remaining;
    const std::string times = (timed_ ? ", " + clockText(elapsed()) + " elapsed" : "") +
                              (remaining ? ", " + clockText(*remaining) + " left" : "");
    if (terminal_) {
        if (percent == lastPercent_ && done != total) {
            return;
        }
        lastPercent_ = percent;
        const int filled = static_cast<int>(done * kBarWidth / total);
        out_ << '\r' << '[' << std::string(static_cast<std::size_t>(filled), '#')
             << std::string(static_cast<std::size_t>(kBarWidth - filled), '.') << "] " << percent
             << "%  " << done << '/' << total << " records" << times << "   " << std::flush;
        drawn_ = true;
        return;
    }
    const int tenth = percent / 10;
    if (tenth != lastTenth_) {
        lastTenth_ = tenth;
        out_ << verb_ << ' ' << done << " of " << total << " records (" << percent << "%)" << times
             << '\n'
             << std::flush;
    }
}

void ProgressReport::finish() {
    if (drawn_) {
        out_ << '\n';
        drawn_ = false;
    }
}

}  // namespace korvane
