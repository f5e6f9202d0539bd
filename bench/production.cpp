// Benchmark, not a test: a production line. 1, 4 and 16 controllers, each a korvane-sim on a
// pseudo-terminal, flashed at once by `korvane-cli --all --expect N flash`. Prints the time for
// all against the time for one (target: within 1.15), and korvane-cli's peak memory and CPU time.
//
//   bench/production [RECORDS] [--fast]        (default 2048 records, standard transfers)
#include <QCoreApplication>
#include <QProcess>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench/CliRun.h"
#include "bench/HexImageWriter.h"
#include "tests/support/SimulatorProcess.h"

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    std::size_t records = 2048;
    bool fast = false;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--fast") {
            fast = true;
        } else {
            records = std::strtoul(argv[i], nullptr, 10);
        }
    }
    const std::string binaries = QCoreApplication::applicationDirPath().toStdString() + "/..";
    const std::string file = "/tmp/korvane-bench-production.hex";
    std::ofstream(file, std::ios::binary) << korvane::bench::makeHexImage(records);

    std::printf("%zu records, %s transfers\n", records, fast ? "fast" : "standard");
    std::printf("controllers   wall s   x one   cpu s   peak MiB   result\n");
    double one = 0;
    for (const int count : {1, 4, 16}) {
        // `count` simulated controllers on pseudo-terminals.
        std::vector<std::unique_ptr<korvane::testing::SimulatorProcess>> simulators;
        for (int i = 0; i < count; ++i) {
            simulators.push_back(std::make_unique<korvane::testing::SimulatorProcess>(
                QStringList{"--latency", "1"}));
        }
        std::vector<std::string> arguments;
        for (const auto& simulator : simulators) {
            arguments.insert(arguments.end(), {"--port", simulator->path()});
        }
        if (fast) {
            arguments.emplace_back("--fast");
        }
        // The update as before the controllers were waited for, so the figures compare.
        arguments.insert(arguments.end(), {"--all", "--expect", std::to_string(count), "flash",
                                           file, "--yes", "--wait-back", "0"});
        const korvane::bench::CliRun run =
            korvane::bench::runCli(binaries + "/korvane-cli", arguments);
        if (count == 1) {
            one = run.seconds;
        }
        std::printf("%11d %8.2f %7.3f %7.2f %10.1f   %s\n", count, run.seconds, run.seconds / one,
                    run.cpuSeconds, run.peakKib / 1024.0, run.ok ? "all ok" : "FAILED");
    }
    std::printf("target: the time for all within 1.15 x the time for one\n");
    std::remove(file.c_str());
    return 0;
}
