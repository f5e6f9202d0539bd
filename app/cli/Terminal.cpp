#include "app/cli/Terminal.h"

#include "app/UpdateAnswer.h"

#include "app/TimeLeft.h"

#include <QSocketNotifier>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iostream>

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
constexpr int kBarWidth = 30;
}

bool inputIsTerminal() {
    return KORVANE_ISATTY(kStdin) != 0;
}

bool outputIsTerminal() {
    return KORVANE_ISATTY(kStdout) != 0;
}

TerminalQuestion::TerminalQuestion(std::ostream& out) : out_(out) {}
TerminalQuestion::~TerminalQuestion() = default;

void TerminalQuestion::ask(const std::string& question, std::function<void(bool)> answer) {
    out_ << question << " [Update/Cancel] " << std::flush;
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

void TerminalQuestion::readable() {
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
    const bool yes = answersUpdate(std::string_view(typed_).substr(0, newline));
    if (ended) {
        out_ << '\n';
    }
    std::exchange(answer_, nullptr)(yes);
}

void ProgressReport::update(std::uint64_t done, std::uint64_t total) {
    if (total == 0) {
        return;
    }
    const int percent = static_cast<int>(done * 100 / total);
    const Duration now = RunLoop::current().now();
    if (!start_) {
        start_ = now;
    }
    const Duration elapsed = now - *start_;
    const std::optional<Duration> left = timeLeft(done, total, elapsed);
    const std::string times =
        left ? ", " + clockText(elapsed) + " elapsed, " + clockText(*left) + " left" : "";
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
