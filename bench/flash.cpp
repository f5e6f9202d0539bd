// Benchmark, not a test: a whole firmware update in real time on the Qt run loop, against the
// simulated controller in the process and against korvane-sim on a pseudo-terminal, measured
// against the floor the polling design allows; and the peak memory of korvane-cli flashing a
// 1 MiB file.
//
//   bench/flash [RECORDS]        (default 2048)
//   bench/flash --demo FILE.hex  the seconds an update of FILE takes on the --demo controller (the
//                                page's benchmark, bench/web.mjs, compares its own with these)
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
#include <iterator>
#include <optional>
#include <string>

#include "app/MainViewControl.h"
#include "bench/HexImageWriter.h"
#include "platform/Log.h"
#include "platform/SelectedPortManager.h"
#include "platform/qt/QtRunLoop.h"
#include "platform/qt/QtSerialPortManager.h"
#include "sim/DemoPorts.h"
#include "sim/SimulatedPortManager.h"
#include "tests/support/SimulatorProcess.h"

using namespace korvane;

namespace {

constexpr int kEraseMs = 1000;
constexpr int kPollMs = 10;
constexpr int kNoticeMs = 1000;

// Confirms every question and notes the end of the update.
class BenchView final : public MainView {
public:
    void propertyChanged(Property) override {}
    void showAlert(const std::string& message, const std::vector<std::string>& buttons,
                   AlertCompletion completion) override {
        if (buttons.size() > 1) {
            completion(kAlertFirstButtonReturn);
            return;
        }
        alert = message;
    }
    void runOpenPanel(const std::string&, OpenPanelCompletion) override {}
    void stopApplication() override {}

    std::optional<std::string> alert;
};

bool runUntil(const std::function<bool()>& done, int patienceMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < patienceMs) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    return done();
}

// Seconds from the confirmation to the reboot notice, or a negative number on failure.
double timeUpdate(const std::string& image, bool fast = false) {
    BenchView view;
    const auto control = MainViewControl::create(view);
    control->viewDidLoad();
    control->setFastTransfers(fast);
    control->onConnect();
    if (!runUntil([&] { return control->isConnected() || control->canConnect(); }, 10000) ||
        !control->isConnected()) {
        std::fprintf(stderr, "no controller found\n");
        return -1;
    }
    QElapsedTimer clock;
    clock.start();
    control->loadDataFile(Bytes(image.begin(), image.end()));
    runUntil([&] { return view.alert.has_value() && *view.alert != "The device is disconnected"; },
             3600 * 1000);
    const double seconds = clock.nsecsElapsed() / 1e9;
    if (view.alert != "The device is rebooting. Click Connect button to reconnect") {
        std::fprintf(stderr, "update failed: %s\n", view.alert.value_or("(nothing)").c_str());
        return -1;
    }
    return seconds;
}

// Against the floor of the polling design: fast rows are to stay within a fifth of it.
void report(const std::string& what, std::size_t records, double seconds, double target) {
    const double floor =
        (kEraseMs + 2.0 * kPollMs * static_cast<double>(records) + kPollMs + kNoticeMs) / 1000.0;
    std::printf("%-46s %6zu records  %8.3f s  floor %8.3f s  ratio %.3f  (target <= %.2f)\n",
                what.c_str(), records, seconds, floor, seconds / floor, target);
}

// The update through korvane-sim on a pseudo-terminal with the given reply latency.
double overPseudoTerminal(int latencyMs, bool fast, const std::string& image) {
    korvane::testing::SimulatorProcess simulator(
        {"--latency", QString::number(latencyMs), "--keep-port-on-reset"});
    QtSerialPortManager system;
    SelectedPortManager ports(system, {simulator.path()});
    const ORSSerialPortManager::Scope portsScope(ports);
    return timeUpdate(image, fast);
}

long peakKibOfCliFlash(const std::string& cli, const std::string& file) {
    const pid_t child = fork();
    if (child == 0) {
        const int devnull = ::open("/dev/null", O_WRONLY);
        dup2(devnull, STDOUT_FILENO);
        execl(cli.c_str(), cli.c_str(), "--demo", "flash", file.c_str(), "--yes",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    wait4(child, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "korvane-cli flash failed (%d)\n", status);
        return -1;
    }
    return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (argc == 3 && std::string(argv[1]) == "--demo") {
        QtRunLoop loop;
        const RunLoop::Scope loopScope(loop);
        SimulatedPortManager ports;
        addDemoDevices(ports);
        const ORSSerialPortManager::Scope portsScope(ports);
        std::ifstream file(argv[2], std::ios::binary);
        const std::string image{std::istreambuf_iterator<char>(file), {}};
        std::printf("%.3f\n", timeUpdate(image));
        return 0;
    }
    const std::size_t records = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 2048;
    const std::string image = bench::makeHexImage(records);
    const std::string binaries = QCoreApplication::applicationDirPath().toStdString() + "/..";

    QtRunLoop loop;
    const RunLoop::Scope loopScope(loop);
    SilentLog quiet;
    const LogSink::Scope logScope(quiet);

    for (const bool fast : {false, true}) {
        SimulatedPortManager ports;
        SimulatedDevice& device = ports.addDevice("/dev/ttyBENCH0");
        device.timing.latency = Duration{1};
        device.restartClosesPort = false;
        const ORSSerialPortManager::Scope portsScope(ports);
        report(std::string("simulated controller, Qt run loop") + (fast ? ", fast" : ""), records,
               timeUpdate(image, fast), fast ? 0.20 : 1.05);
    }
    report("korvane-sim on a pseudo-terminal", records, overPseudoTerminal(1, false, image), 1.05);
    for (const int latencyMs : {1, 0}) {
        report("korvane-sim on a pseudo-terminal, fast, " + std::to_string(latencyMs) + " ms",
               records, overPseudoTerminal(latencyMs, true, image), 0.20);
    }

    // About 1 MiB of HEX: a few records to program, the rest in a region that is skipped.
    const std::string big = bench::makeHexImage(64, 23800);
    const std::string file = "/tmp/korvane-bench-1mib.hex";
    std::ofstream(file, std::ios::binary) << big;
    const long peak = peakKibOfCliFlash(binaries + "/korvane-cli", file);
    std::printf("korvane-cli --demo flash of a %.2f MiB file: peak memory %.1f MiB (target < 40)\n",
                static_cast<double>(big.size()) / (1024.0 * 1024.0), peak / 1024.0);
    std::remove(file.c_str());
    return 0;
}
