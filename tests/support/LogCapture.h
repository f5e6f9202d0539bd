#pragma once

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Log.h"

namespace korvane::testing {

// Collects the log's lines for as long as it lives.
class LogCapture final : public LogSink {
public:
    void write(std::string_view text) override { lines_.emplace_back(text); }

    const std::vector<std::string>& lines() const { return lines_; }
    std::size_t count(std::string_view line) const {
        return static_cast<std::size_t>(std::count(lines_.begin(), lines_.end(), line));
    }
    std::size_t countStartingWith(std::string_view prefix) const {
        return static_cast<std::size_t>(
            std::count_if(lines_.begin(), lines_.end(),
                          [&](const std::string& l) { return l.starts_with(prefix); }));
    }

private:
    std::vector<std::string> lines_;
    Scope scope_{*this};
};

}  // namespace korvane::testing
