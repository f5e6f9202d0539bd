// Benchmark, not a test: `korvane-cli verify` of an image against `korvane-cli flash` of the same
// image, through korvane-sim on a pseudo-terminal in real time, in the default and in fast mode.
// Each run is a whole korvane-cli: the search, then the Verify requests, or the update and the
// 1 s reboot notice (the restart not waited for, as before).
//
//   bench/verify [RECORDS]        (default 2048)
#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench/CliRun.h"
#include "bench/HexImageWriter.h"
#include "tests/support/SimulatorProcess.h"

using korvane::bench::runCli;

namespace {

constexpr double kSearchSeconds = 1.4;
constexpr double kPollSeconds = 0.010;

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const std::size_t records = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 2048;
    const std::string cli =
        QCoreApplication::applicationDirPath().toStdString() + "/../korvane-cli";
    const std::string file = "/tmp/korvane-bench-verify.hex";
    std::ofstream(file, std::ios::binary) << korvane::bench::makeHexImage(records);

    std::printf("%zu program records, korvane-sim answering after 1 ms\n", records);
    std::printf("mode       flash s   verify s   verify / flash   verify floor s   result\n");
    for (const bool fast : {false, true}) {
        korvane::testing::SimulatorProcess simulator({"--latency", "1"});
        std::vector<std::string> options = {"--port", simulator.path()};
        if (fast) {
            options.emplace_back("--fast");
        }
        std::vector<std::string> flash = options;
        flash.insert(flash.end(), {"flash", file, "--yes", "--wait-back", "0"});
        std::vector<std::string> verify = options;
        verify.insert(verify.end(), {"verify", file});
        const korvane::bench::CliRun flashed = runCli(cli, flash);
        const korvane::bench::CliRun verified = runCli(cli, verify);
        // Default: the search, then each Verify answered by the next 10 ms poll.
        const double floor = kSearchSeconds + kPollSeconds * static_cast<double>(records);
        const std::string floorText = fast ? "-" : std::to_string(floor).substr(0, 5);
        std::printf("%-8s %9.2f %10.2f %16.3f %16s   %s\n", fast ? "fast" : "default",
                    flashed.seconds, verified.seconds, verified.seconds / flashed.seconds,
                    floorText.c_str(), flashed.ok && verified.ok ? "both ok" : "FAILED");
    }
    std::remove(file.c_str());
    return 0;
}
