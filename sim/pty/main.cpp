// korvane-sim: the simulated controller on a pseudo-terminal, so the real serial path can be tried
// without hardware.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <QCoreApplication>
#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Log.h"
#include "platform/qt/InterruptWatch.h"
#include "platform/qt/QtRunLoop.h"
#include "sim/pty/PtyServer.h"

using namespace korvane;

namespace {

// Replies are at most 255 bytes: larger pieces are whole replies, and a kilobyte either way is
// every length fault worth trying.
constexpr int kMaxChunkBytes = 1024;
constexpr int kMaxReplyDelta = 1024;
constexpr int kMaxLatencyMs = 60000;
constexpr std::size_t kDeviceIdDigits = 4;
// Wrong usage, or a link path that is taken.
constexpr int kUsageStatus = 2;

using DeviceId = std::array<std::uint8_t, 2>;

// "12ab" -> {0x12, 0xAB}; none unless exactly four hex digits.
std::optional<DeviceId> parseDeviceId(const std::string& text) {
    if (text.size() != kDeviceIdDigits ||
        !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isxdigit(c); })) {
        return std::nullopt;
    }
    const auto value = static_cast<std::uint16_t>(std::stoul(text, nullptr, 16));
    return DeviceId{static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value & 0xFF)};
}

// "08" -> Verify; none unless two hex digits naming a command.
std::optional<CommandCode> parseCommandCode(const std::string& text) {
    if (text.size() != 2 ||
        !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isxdigit(c); })) {
        return std::nullopt;
    }
    const auto code = static_cast<CommandCode>(std::stoul(text, nullptr, 16));
    switch (code) {
        case CommandCode::Identify:
        case CommandCode::WriteProgram:
        case CommandCode::Erase:
        case CommandCode::ReadEprom:
        case CommandCode::WriteEprom:
        case CommandCode::Verify:
        case CommandCode::Reset:
            return code;
    }
    return std::nullopt;
}

struct Settings {
    PtyServer::Options server;
    ControllerFaults faults;
    std::optional<DeviceId> deviceId;
    bool verbose = false;
};

// Reads the switches (with CLI11); exits for --help and --version, and with 2 for wrong ones.
Settings parse(int argc, char** argv) {
    Settings settings;
    CLI::App app{"Serves the simulated controller on a pseudo-terminal behind a stable link.",
                 "korvane-sim"};
    app.set_version_flag("--version", "korvane-sim " KORVANE_VERSION);
    app.add_option("--link", settings.server.linkPath,
                   "the link's path (default: a new folder in /tmp); an existing file is never "
                   "replaced")
        ->type_name("PATH");
    std::int64_t latency = settings.server.timing.latency.count();
    app.add_option("--latency", latency,
                   "reply this many milliseconds after each request (default 5)")
        ->type_name("MS")
        ->check(CLI::Range(0, kMaxLatencyMs));
    app.add_option("--chunk", settings.server.timing.chunkSize,
                   "send replies in pieces of this many bytes (0: whole)")
        ->type_name("BYTES")
        ->check(CLI::Range(0, kMaxChunkBytes));
    std::string deviceId;
    app.add_option("--device-id", deviceId,
                   "the device id it answers with: four hex digits (default BEEF)")
        ->type_name("HEX")
        ->check(CLI::Validator(
            [](const std::string& text) {
                return parseDeviceId(text)
                           ? std::string()
                           : "\"" + text + "\" is not four hex digits (such as 1234)";
            },
            ""));
    ControllerFaults& faults = settings.faults;
    app.add_flag("--silent", faults.silent, "answer nothing at all");
    app.add_flag("--garbage", faults.garbage,
                 "answer every request with random bytes of random length");
    app.add_flag("--wrong-header", faults.wrongHeader,
                 "change the last header byte of every reply");
    app.add_option("--reply-delta", faults.replyLengthDelta,
                   "make every reply N bytes longer (or shorter, when negative)")
        ->type_name("N")
        ->check(CLI::Range(-kMaxReplyDelta, kMaxReplyDelta));
    app.add_flag("--refuse-writes", faults.refuseWrites,
                 "refuse memory writes (status 0); echo settings writes but keep nothing");
    app.add_flag("--wrong-verify-sum", faults.wrongVerifySum,
                 "answer Verify with a word sum one too high");
    std::vector<std::string> unanswered;
    app.add_option("--unanswered", unanswered,
                   "answer nothing to the requests of this command (two hex digits: 08 for "
                   "Verify); repeatable")
        ->type_name("CODE")
        ->check(CLI::Validator(
            [](const std::string& text) {
                return parseCommandCode(text) ? std::string()
                                              : "\"" + text +
                                                    "\" is not a command code (00, 02, 03, "
                                                    "04, 05, 08 or 09)";
            },
            ""));
    app.add_option("--unplug-at", faults.unplugAtRequest,
                   "vanish at request N (1 is the first), which gets no answer")
        ->type_name("N")
        ->check(CLI::Range(1, 1000000000));
    bool keepPort = false;
    CLI::Option* keep =
        app.add_flag("--keep-port-on-reset", keepPort,
                     "stay on the line when reset, instead of hanging up and coming back");
    std::int64_t backAfter = 0;
    CLI::Option* away =
        app.add_option("--back-after", backAfter,
                       "when reset, come back only after this many milliseconds, the link gone "
                       "meanwhile (default 0)")
            ->type_name("MS")
            ->check(CLI::Range(0, kMaxLatencyMs))
            ->excludes(keep);
    bool neverBack = false;
    app.add_flag("--never-back", neverBack,
                 "when reset, leave for good: the link is removed and nothing comes back")
        ->excludes(keep)
        ->excludes(away);
    app.add_flag("--verbose", settings.verbose, "log every byte and request on stderr");
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& done) {
        std::exit(app.exit(done));  // --help or --version
    } catch (const CLI::ParseError& error) {
        // One line and where to read more, as the other programs do.
        std::fprintf(stderr, "korvane-sim: %s\nTry 'korvane-sim --help'\n", error.what());
        std::exit(kUsageStatus);
    }
    if (!deviceId.empty()) {
        settings.deviceId = parseDeviceId(deviceId);
    }
    for (const std::string& code : unanswered) {
        faults.unanswered.insert(*parseCommandCode(code));
    }
    settings.server.timing.latency = Duration{latency};
    settings.server.restartClosesPort = !keepPort;
    settings.server.restartAbsence =
        neverBack ? std::nullopt : std::optional<Duration>(Duration{backAfter});
    return settings;
}

}  // namespace

int main(int argc, char** argv) {
    Settings settings = parse(argc, argv);
    std::string error;
    if (!settings.server.linkPath.empty() && PtyServer::pathTaken(settings.server.linkPath)) {
        // Never replaced: it may be anybody's file.
        std::fprintf(stderr, "korvane-sim: %s already exists; name a path that does not\n",
                     settings.server.linkPath.c_str());
        return kUsageStatus;
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
        if (settings.deviceId) {
            controller.deviceId = *settings.deviceId;
        }
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
