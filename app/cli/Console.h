#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "app/frontend/FrontEndOptions.h"

namespace korvane {

// Where korvane-cli runs: its output streams, whether somebody can answer a question and whether
// stdout is a terminal, and the run loop with the serial ports. The terminal is one; a test is
// another, on virtual time.
class Console {
public:
    virtual ~Console() = default;
    virtual std::ostream& out() = 0;
    virtual std::ostream& err() = 0;
    // Standard input is a terminal somebody answers at.
    virtual bool canAsk() const = 0;
    // A bar may redraw its line on stdout.
    virtual bool outputIsTerminal() const = 0;
    // Asks on `where`; the answer comes later: yes for "update", "u", "yes" or "y".
    virtual void ask(std::ostream& where, const std::string& question,
                     std::function<void(bool)> answer) = 0;
    // With the ports `options` name, runs `start` on the run loop until it calls its argument
    // with the exit status. A signal first calls `interrupted` with its number, which gives the
    // status. `ended` comes last, while the run loop and the ports still exist.
    using Finish = std::function<void(int status)>;
    virtual int run(const FrontEndOptions& options, const std::function<void(Finish)>& start,
                    const std::function<int(int signal)>& interrupted,
                    const std::function<void()>& ended) = 0;
};

// korvane-cli's whole run on `console`: the arguments after the program's name; the exit status.
int runCommandLine(const std::vector<std::string>& arguments, Console& console);
// The same on the terminal korvane-cli was started from: stdout and stderr, questions answered on
// standard input without stopping the run loop, the Qt run loop with the serial ports (or the
// demo's), and signals delivered on the run loop.
int runOnTerminal(int argc, char** argv);
// Whether a typed answer to the update question says yes: "update", "u", "yes" or "y" in any
// case, blanks (a Windows console's carriage return among them) ignored. Anything else is no.
bool answersUpdate(std::string_view typed);

}  // namespace korvane
