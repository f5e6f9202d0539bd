#pragma once

#include <functional>
#include <memory>

class QSocketNotifier;

namespace korvane {

// Ctrl-C (SIGINT), SIGTERM and SIGHUP, delivered on the run loop instead of ending the program at
// once, so that it can say what state it leaves the controller in. While it lives, it is the only
// one.
class InterruptWatch {
public:
    // `handler` gets the signal's number.
    explicit InterruptWatch(std::function<void(int signal)> handler);
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    // Runs the handler; on the run loop's thread.
    void deliver(int signal);

private:
    std::function<void(int)> handler_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

// A reader that goes away (`korvane-cli flash F | head -1`) must not end the program: writes to
// it fail quietly instead.
void ignoreBrokenPipes();

}  // namespace korvane
