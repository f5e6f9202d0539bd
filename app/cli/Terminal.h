#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/cli/Console.h"

class QSocketNotifier;

namespace korvane {

// korvane-cli on a real terminal: stdout and stderr, questions answered on standard input
// without stopping the run loop, the Qt run loop with the serial ports (or the demo's), and
// signals delivered on the run loop.
class TerminalConsole final : public Console {
public:
    // Qt's application object takes the program's arguments.
    TerminalConsole(int& argc, char** argv);
    ~TerminalConsole() override;

    std::ostream& out() override;
    std::ostream& err() override;
    bool canAsk() const override;
    bool outputIsTerminal() const override;
    void ask(std::ostream& where, const std::string& question,
             std::function<void(bool)> answer) override;
    int run(const FrontEndOptions& options, const std::function<void(Finish)>& start,
            const std::function<int(int signal)>& interrupted,
            const std::function<void()>& ended) override;

private:
    void readable();

    int& argc_;
    char** argv_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::string typed_;
    std::ostream* asked_ = nullptr;
    std::function<void(bool)> answer_;
};

}  // namespace korvane
