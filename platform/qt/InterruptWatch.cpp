#include "platform/qt/InterruptWatch.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace korvane {

namespace {

#ifdef _WIN32

InterruptWatch* watching = nullptr;

BOOL WINAPI consoleEvent(DWORD event) {
    const int signal = event == CTRL_C_EVENT ? SIGINT : SIGTERM;
    // Another thread: the run loop's thread takes it from the queue.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [signal] { watching->deliver(signal); },
        Qt::QueuedConnection);
    return TRUE;
}

#else

// SIGHUP: the terminal or the ssh session went away, which must not cut an update short silently.
constexpr int kWatched[] = {SIGINT, SIGTERM, SIGHUP};

// Written by the signal handler, read on the run loop: the one thing a handler may safely do.
int signalPipe[2] = {-1, -1};

void onSignal(int signal) {
    const auto byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

#endif

}  // namespace

InterruptWatch::InterruptWatch(std::function<void(int signal)> handler)
    : handler_(std::move(handler)) {
#ifdef _WIN32
    watching = this;
    SetConsoleCtrlHandler(consoleEvent, TRUE);
#else
    if (::pipe(signalPipe) != 0) {
        return;  // signals keep their default: the program ends at once
    }
    ::fcntl(signalPipe[1], F_SETFL, O_NONBLOCK);
    notifier_ = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
        unsigned char byte = 0;
        if (::read(signalPipe[0], &byte, 1) == 1) {
            deliver(byte);
        }
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    action.sa_flags = SA_RESTART;  // the run loop's own calls go on undisturbed
    sigemptyset(&action.sa_mask);
    for (const int signal : kWatched) {
        ::sigaction(signal, &action, nullptr);
    }
#endif
}

InterruptWatch::~InterruptWatch() {
#ifdef _WIN32
    SetConsoleCtrlHandler(consoleEvent, FALSE);
    watching = nullptr;
#else
    for (const int signal : kWatched) {
        std::signal(signal, SIG_DFL);
    }
    notifier_.reset();
    for (int& end : signalPipe) {
        if (end >= 0) {
            ::close(end);
            end = -1;
        }
    }
#endif
}

void InterruptWatch::deliver(int signal) {
    if (handler_) {
        handler_(signal);
    }
}

void ignoreBrokenPipes() {
#ifndef _WIN32
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

}  // namespace korvane
