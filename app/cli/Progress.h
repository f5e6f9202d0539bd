#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>

#include "platform/RunLoop.h"

namespace korvane {

// Progress through a firmware file's records: a bar on a terminal, otherwise a line every tenth
// ("Programmed 96 of 159 records (60%)"); with the time since the first record and the time
// left, once there is a rate to go by, and the time it took on the last.
class ProgressReport {
public:
    // `verb` says what is done to the records: "Programmed", "Checked".
    ProgressReport(std::ostream& out, bool terminal, std::string verb)
        : out_(out), terminal_(terminal), verb_(std::move(verb)) {}
    void update(std::uint64_t done, std::uint64_t total);
    // Ends the bar's line.
    void finish();
    // Since the first record, and what is left by the rate so far, when known.
    Duration elapsed() const;
    std::optional<Duration> left(std::uint64_t done, std::uint64_t total) const;

private:
    std::ostream& out_;
    bool terminal_;
    std::string verb_;
    bool drawn_ = false;
    bool timed_ = false;
    int lastTenth_ = -1;
    int lastPercent_ = -1;
    std::optional<Duration> start_;
};

}  // namespace korvane
