#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

#include "platform/RunLoop.h"

class QSocketNotifier;

namespace korvane {

// Whether standard input and output are a terminal a person sits at.
bool inputIsTerminal();
bool outputIsTerminal();

// Asks a question on the terminal without stopping the run loop; the answer comes later.
class TerminalQuestion {
public:
    // Asks on `out`; the answer is read from standard input.
    explicit TerminalQuestion(std::ostream& out);
    ~TerminalQuestion();
    TerminalQuestion(const TerminalQuestion&) = delete;
    TerminalQuestion& operator=(const TerminalQuestion&) = delete;

    // "yes" for "update", "u", "yes" or "y" in any case; anything else, or the end of input, is no.
    void ask(const std::string& question, std::function<void(bool)> answer);

private:
    void readable();

    std::ostream& out_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::string typed_;
    std::function<void(bool)> answer_;
};

// Progress through a firmware file's records: a bar on a terminal, otherwise a line every tenth
// ("Programmed 96 of 159 records (60%)"); with the time since the first record and the time
// left, once there is a rate to go by.
class ProgressReport {
public:
    // `verb` says what is done to the records: "Programmed", "Checked".
    ProgressReport(std::ostream& out, bool terminal, std::string verb = "Programmed")
        : out_(out), terminal_(terminal), verb_(std::move(verb)) {}
    void update(std::uint64_t done, std::uint64_t total);
    // Ends the bar's line.
    void finish();

private:
    std::ostream& out_;
    bool terminal_;
    std::string verb_;
    bool drawn_ = false;
    int lastTenth_ = -1;
    int lastPercent_ = -1;
    std::optional<Duration> start_;
};

}  // namespace korvane
