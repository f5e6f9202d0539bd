// Benchmark, not a test: discovery over 1, 16 and 64 ports, one of them the controller and the
// rest silent or talking garbage; simulated ports on the Qt run loop, and pseudo-terminals
// served by korvane-sim. Prints the time to the result against the 1.4 s one probe takes, and
// how many losing ports were left open.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/Log.h"
#include "platform/SelectedPortManager.h"
#include "platform/qt/QtRunLoop.h"
#include "platform/qt/QtSerialPortManager.h"
#include "serial/SimpleSerial.h"
#include "sim/SimulatedPortManager.h"
#include "tests/support/SimulatorProcess.h"

using namespace korvane;

namespace {

constexpr double kOneProbeSeconds = 1.4;

struct Result {
    double seconds = -1;
    std::unique_ptr<SimpleSerial> winner;
};

Result discover(TransferMode mode) {
    Result result;
    bool done = false;
    QElapsedTimer clock;
    clock.start();
    SimpleSerial::findDevice(
        [&](std::unique_ptr<SimpleSerial> link) {
            result.seconds = clock.nsecsElapsed() / 1e9;
            result.winner = std::move(link);
            done = true;
        },
        mode);
    while (!done && clock.elapsed() < 30000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    return result;
}

// The default mode against one probe's 1.4 s; fast mode against 0.15 s.
void report(const std::string& what, TransferMode mode, std::size_t ports, const Result& result,
            std::size_t leftOpen) {
    const bool fast = mode == TransferMode::fast;
    std::printf("%-44s %3zu ports  %s  %.3f s  %s  losing ports open: %zu\n",
                (what + (fast ? ", fast" : "")).c_str(), ports, result.winner ? "found" : "NONE ",
                result.seconds,
                fast ? "(target <= 0.150 s)"
                     : ("ratio " + std::to_string(result.seconds / kOneProbeSeconds).substr(0, 5) +
                        " (target <= 1.05)")
                           .c_str(),
                leftOpen);
}

// Pseudo-terminals this process still has open.
std::size_t openTerminals() {
    std::size_t count = 0;
    for (const QFileInfo& fd :
         QDir("/proc/self/fd").entryInfoList(QDir::System | QDir::NoDotAndDotDot)) {
        count += fd.symLinkTarget().startsWith("/dev/pts/") ? 1 : 0;
    }
    return count;
}

void simulatedPorts(std::size_t count, TransferMode mode) {
    SimulatedPortManager ports;
    for (std::size_t i = 0; i + 1 < count; ++i) {
        SimulatedDevice& other = ports.addDevice("/dev/ttyOTHER" + std::to_string(i));
        (i % 2 == 0 ? other.controller.faults.silent : other.controller.faults.garbage) = true;
    }
    ports.addDevice("/dev/ttyCONTROLLER").timing.latency = Duration{5};
    const ORSSerialPortManager::Scope scope(ports);
    Result result = discover(mode);
    report("simulated ports, Qt run loop", mode, count, result,
           ports.openPorts() - (result.winner ? 1 : 0));
}

void terminals(std::size_t count, TransferMode mode, int controllerLatencyMs) {
    std::vector<std::unique_ptr<korvane::testing::SimulatorProcess>> simulators;
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < count; ++i) {
        QStringList arguments;
        if (i + 1 < count) {
            arguments << (i % 2 == 0 ? "--silent" : "--garbage");
        } else {
            arguments << "--latency" << QString::number(controllerLatencyMs);
        }
        simulators.push_back(std::make_unique<korvane::testing::SimulatorProcess>(arguments));
        paths.push_back(simulators.back()->path());
    }
    QtSerialPortManager system;
    SelectedPortManager ports(system, paths);
    const ORSSerialPortManager::Scope scope(ports);
    Result result = discover(mode);
    report("korvane-sim on pseudo-terminals, " + std::to_string(controllerLatencyMs) + " ms", mode,
           count, result, openTerminals() - (result.winner ? 1 : 0));
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    QtRunLoop loop;
    const RunLoop::Scope loopScope(loop);
    SilentLog quiet;
    const LogSink::Scope logScope(quiet);
    for (const TransferMode mode : {TransferMode::standard, TransferMode::fast}) {
        for (const std::size_t count : {1, 16, 64}) {
            simulatedPorts(count, mode);
        }
    }
    for (const std::size_t count : {1, 16, 64}) {
        terminals(count, TransferMode::standard, 5);
    }
    for (const int latencyMs : {1, 0}) {
        for (const std::size_t count : {1, 16, 64}) {
            terminals(count, TransferMode::fast, latencyMs);
        }
    }
    return 0;
}
