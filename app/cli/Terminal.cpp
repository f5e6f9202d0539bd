#include <QCoreApplication>
#include <QSocketNotifier>
#include <cctype>
#include <iostream>
#include <memory>
#include <optional>

#include "app/cli/Console.h"
#include "app/frontend/FrontEnd.h"
#include "platform/qt/InterruptWatch.h"

#ifdef _WIN32
#include <io.h>
#define KORVANE_ISATTY _isatty
constexpr int kStdin = 0;
constexpr int kStdout = 1;
#else
#include <unistd.h>
#define KORVANE_ISATTY isatty
constexpr int kStdin = STDIN_FILENO;
constexpr int kStdout = STDOUT_FILENO;
#endif

namespace korvane {

namespace {

class TerminalConsole final : public Console {
public:
    // Qt's application object takes the program's arguments.
    TerminalConsole(int& argc, char** argv) : argc_(argc), argv_(argv) {}

    std::ostream& out() override { return std::cout; }
    std::ostream& err() override { return std::cerr; }
    bool canAsk() const override { return KORVANE_ISATTY(kStdin) != 0; }
    bool outputIsTerminal() const override { return KORVANE_ISATTY(kStdout) != 0; }

    void ask(std::ostream& where, const std::string& question,
             std::function<void(bool)> answer) override {
        where << question << " [Update/Cancel] " << std::flush;
        asked_ = &where;
        answer_ = std::move(answer);
        typed_.clear();
#ifdef _WIN32
        // No notifier for a console on Windows: the question is the only thing going on.
        std::getline(std::cin, typed_);
        typed_ += '\n';
        readable();
#else
        notifier_ = std::make_unique<QSocketNotifier>(kStdin, QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { readable(); });
#endif
    }

    int run(const FrontEndOptions& options, const std::function<void(Finish)>& start,
            const std::function<int(int signal)>& interrupted,
            const std::function<void()>& ended) override {
        // A reader that goes away (`korvane-cli flash F | head -1`) does not end an update.
        ignoreBrokenPipes();
        QCoreApplication application(argc_, argv_);
        FrontEnd frontEnd(options, "korvane-cli");
        std::optional<int> status;
        // Ending the run loop destroys the links with it: nothing more is sent.
        const InterruptWatch interrupts([&](int signal) {
            if (!status) {
                status = interrupted(signal);
                QCoreApplication::exit(*status);
            }
        });
        start([&status](int result) {
            if (!status) {
                status = result;
                QCoreApplication::exit(result);
            }
        });
        // A command may be done before the loop runs, and then there is nothing to wait for.
        const int result = status ? *status : QCoreApplication::exec();
        ended();
        return result;
    }

private:
    void readable() {
#ifndef _WIN32
        char chunk[256];
        const ssize_t length = ::read(kStdin, chunk, sizeof chunk);
        if (length > 0) {
            typed_.append(chunk, static_cast<std::size_t>(length));
        }
        const bool ended = length <= 0;
#else
        const bool ended = false;
#endif
        const auto newline = typed_.find('\n');
        if (newline == std::string::npos && !ended) {
            return;
        }
        if (notifier_) {
            notifier_->setEnabled(false);
        }
        if (ended) {
            *asked_ << '\n';
        }
        std::exchange(answer_, nullptr)(answersUpdate(std::string_view(typed_).substr(0, newline)));
    }

    int& argc_;
    char** argv_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::string typed_;
    std::ostream* asked_ = nullptr;
    std::function<void(bool)> answer_;
};

}  // namespace

bool answersUpdate(std::string_view typed) {
    std::string word;
    for (const char c : typed) {
        if (std::isspace(static_cast<unsigned char>(c)) == 0) {
            word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    return word == "update" || word == "u" || word == "yes" || word == "y";
}

int runOnTerminal(int argc, char** argv) {
    TerminalConsole console(argc, argv);
    return runCommandLine(std::vector<std::string>(argv + 1, argv + argc), console);
}

}  // namespace korvane
