// Benchmark, not a test: a production line. 1, 4 and 16 controllers, each a korvane-sim on a
// pseudo-terminal, flashed at once by `korvane-cli --all --expect N flash`. Prints the time for
// all against the time for one (target: within 1.15), and korvane-cli's peak memory and CPU time.
//
//   bench/production [RECORDS] [--fast]        (default 2048 records, standard transfers)
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench/HexImageWriter.h"
#include "tests/support/SimulatorProcess.h"

namespace {

struct Run {
    double seconds = -1;
    double cpuSeconds = 0;
    long peakKib = 0;
    bool ok = false;
};

double seconds(const timeval& time) {
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
}

// korvane-cli with `arguments`, its output thrown away; how long it took and what it used.
Run runCli(const std::string& cli, const std::vector<std::string>& arguments) {
    std::vector<char*> argv{const_cast<char*>(cli.c_str())};
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    QElapsedTimer clock;
    clock.start();
    const pid_t child = fork();
    if (child == 0) {
        const int devnull = ::open("/dev/null", O_WRONLY);
        dup2(devnull, STDOUT_FILENO);
        execv(cli.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    wait4(child, &status, 0, &usage);
    Run run;
    run.seconds = clock.nsecsElapsed() / 1e9;
    run.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    run.peakKib = usage.ru_maxrss;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

}  // namespace

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
        arguments.insert(arguments.end(),
                         {"--all", "--expect", std::to_string(count), "flash", file, "--yes"});
        const Run run = runCli(binaries + "/korvane-cli", arguments);
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
