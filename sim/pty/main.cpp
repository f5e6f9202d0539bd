// korvane-sim: the simulated controller on a pseudo-terminal, so the real serial path can be tried
// without hardware.
#include <unistd.h>
#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Log.h"
#include "platform/qt/InterruptWatch.h"
#include "platform/qt/QtRunLoop.h"
#include "sim/pty/PtyServer.h"

using namespace korvane;

namespace {

constexpr const char* kUsage =
    "usage: korvane-sim [--link PATH] [--latency MS] [--chunk BYTES] [--silent] [--garbage]\n"
    "                   [--wrong-header] [--reply-delta N] [--refuse-writes] [--wrong-verify-sum]\n"
    "                   [--unplug-at N] [--keep-port-on-reset] [--verbose] [--version]\n";

struct Settings {
    PtyServer::Options server;
    ControllerFaults faults;
    bool verbose = false;
};

struct Option {
    std::string_view name;
    // What the value stands for, or empty for a switch.
    std::string_view value;
    std::string_view help;
    std::function<bool(Settings&, long)> apply;
};

const std::vector<Option>& options() {
    static const std::vector<Option> table = {
        {"--latency", "MS", "reply this many milliseconds after each request (default 5)",
         [](Settings& s, long v) {
             s.server.timing.latency = Duration{v};
             return v >= 0;
         }},
        {"--chunk", "BYTES", "send replies in pieces of this many bytes (0: whole)",
         [](Settings& s, long v) {
             s.server.timing.chunkSize = static_cast<std::size_t>(v);
             return v >= 0;
         }},
        {"--silent", "", "answer nothing at all",
         [](Settings& s, long) {
             return s.faults.silent = true;
         }},
        {"--garbage", "", "answer every request with random bytes of random length",
         [](Settings& s, long) {
             return s.faults.garbage = true;
         }},
        {"--wrong-header", "", "change the last header byte of every reply",
         [](Settings& s, long) {
             return s.faults.wrongHeader = true;
         }},
        {"--reply-delta", "N", "make every reply N bytes longer (or shorter, when negative)",
         [](Settings& s, long v) {
             s.faults.replyLengthDelta = static_cast<int>(v);
             return true;
         }},
        {"--refuse-writes", "",
         "refuse memory writes (status 0); echo settings writes but keep nothing",
         [](Settings& s, long) {
             return s.faults.refuseWrites = true;
         }},
        {"--wrong-verify-sum", "", "answer Verify with a word sum one too high",
         [](Settings& s, long) {
             return s.faults.wrongVerifySum = true;
         }},
        {"--unplug-at", "N", "vanish at request N (1 is the first), which gets no answer",
         [](Settings& s, long v) {
             s.faults.unplugAtRequest = static_cast<std::uint64_t>(v);
             return v > 0;
         }},
        {"--keep-port-on-reset", "",
         "stay on the line when reset, instead of hanging up and coming back",
         [](Settings& s, long) {
             s.server.restartClosesPort = false;
             return true;
         }},
        {"--verbose", "", "log every byte and request on stderr",
         [](Settings& s, long) {
             return s.verbose = true;
         }},
    };
    return table;
}

// The usage, then a line for each option: what it does, its unit, how it counts.
std::string help() {
    std::string text =
        std::string(kUsage) +
        "\nServes the simulated controller on a pseudo-terminal behind a stable link.\n\n"
        "  --link PATH                the link's path (default: a new folder in /tmp); an\n"
        "                             existing file is never replaced\n";
    for (const Option& option : options()) {
        const std::string name = std::string(option.name) +
                                 (option.value.empty() ? "" : " " + std::string(option.value));
        text += "  " + name + std::string(name.size() < 27 ? 27 - name.size() : 1, ' ') +
                std::string(option.help) + "\n";
    }
    return text;
}

bool parse(int argc, char** argv, Settings& settings, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            std::fputs(help().c_str(), stdout);
            std::exit(0);
        }
        if (argument == "--version") {
            std::puts("korvane-sim " KORVANE_VERSION);
            std::exit(0);
        }
        if (argument == "--link" && i + 1 < argc) {
            settings.server.linkPath = argv[++i];
            continue;
        }
        const Option* option = nullptr;
        for (const Option& candidate : options()) {
            if (candidate.name == argument) {
                option = &candidate;
            }
        }
        if (option == nullptr) {
            error = "unknown option " + std::string(argument);
            return false;
        }
        long value = 0;
        if (!option->value.empty()) {
            char* end = nullptr;
            if (i + 1 >= argc || (value = std::strtol(argv[++i], &end, 10), *end != '\0')) {
                error = std::string(argument) + " needs a number";
                return false;
            }
        }
        if (!option->apply(settings, value)) {
            error = "invalid value for " + std::string(argument);
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Settings settings;
    std::string error;
    if (!parse(argc, argv, settings, error)) {
        std::fprintf(stderr, "korvane-sim: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    if (!settings.server.linkPath.empty() && PtyServer::pathTaken(settings.server.linkPath)) {
        // Never replaced: it may be anybody's file.
        std::fprintf(stderr, "korvane-sim: %s already exists; name a path that does not\n",
                     settings.server.linkPath.c_str());
        return 2;
    }
    std::string madeFolder;
    if (settings.server.linkPath.empty()) {
        char folder[] = "/tmp/korvane-sim-XXXXXX";
        if (::mkdtemp(folder) == nullptr) {
            std::perror("korvane-sim: cannot make a folder in /tmp");
            return 1;
        }
        madeFolder = folder;
        settings.server.linkPath = madeFolder + "/ttyKORVANE";
    }

    QCoreApplication application(argc, argv);
    QtRunLoop loop;
    const RunLoop::Scope loopScope(loop);
    StderrLog stderrLog("korvane-sim");
    SilentLog silentLog;
    const LogSink::Scope logScope(settings.verbose ? static_cast<LogSink&>(stderrLog) : silentLog);

    // Ctrl+C and kill end the event loop, so the link is removed on the way out.
    const InterruptWatch stopRequests([](int) { QCoreApplication::quit(); });

    int status = 0;
    {
        SimulatedController controller;
        controller.faults = settings.faults;
        PtyServer server(controller, settings.server);
        if (server.start(error)) {
            std::printf("Serving the simulated controller on %s\n", server.linkPath().c_str());
            std::printf("(pseudo-terminal %s; stop with Ctrl+C)\n", server.terminalPath().c_str());
            std::fflush(stdout);
            status = QCoreApplication::exec();
        } else {
            std::fprintf(stderr, "korvane-sim: %s\n", error.c_str());
            status = 1;
        }
    }
    if (!madeFolder.empty()) {
        ::rmdir(madeFolder.c_str());
    }
    return status;
}
