#pragma once

#include <string>
#include <string_view>

#include "platform/Installable.h"

namespace korvane {

// Where the system log's lines go. The installed sink gets each line's bare text.
class LogSink : public Installable<LogSink> {
public:
    virtual ~LogSink() = default;
    virtual void write(std::string_view text) = 0;
    // False when lines are dropped anyway, so that costly ones need not be made.
    virtual bool keepsLines() const { return true; }
};

// The default sink: one line on stderr with the time and the process, like the platform log.
class StderrLog final : public LogSink {
public:
    explicit StderrLog(const std::string& processName);
    void write(std::string_view text) override;

private:
    std::string prefix_;
};

// Drops every line (the command line without --verbose).
class SilentLog final : public LogSink {
public:
    void write(std::string_view) override {}
    bool keepsLines() const override { return false; }
};

// One diagnostic line. Without an installed sink it goes to stderr.
void logLine(std::string_view text);
// Whether a line written now would be kept.
bool logKeepsLines();

}  // namespace korvane
