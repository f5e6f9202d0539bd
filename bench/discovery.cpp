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

using namespace korvane;

namespace {

constexpr double kOneProbeSeconds = 1.4;

struct Result {
    double seconds = -1;
    std::unique_ptr<SimpleSerial> winner;
};

Result discover() {
    Result result;
    bool done = false;
    QElapsedTimer clock;
    clock.start();
    SimpleSerial::findDevice([&](std::unique_ptr<SimpleSerial> link) {
        result.seconds = clock.nsecsElapsed() / 1e9;
        result.winner = std::move(link);
        done = true;
    });
    while (!done && clock.elapsed() < 30000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    return result;
}

void report(const char* what, std::size_t ports, const Result& result, std::size_t leftOpen) {
    std::printf(
        "%-34s %3zu ports  %s  %.3f s  ratio %.3f (target <= 1.10)  losing ports open: %zu\n", what,
        ports, result.winner ? "found" : "NONE ", result.seconds, result.seconds / kOneProbeSeconds,
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

void simulatedPorts(std::size_t count) {
    SimulatedPortManager ports;
    for (std::size_t i = 0; i + 1 < count; ++i) {
        SimulatedDevice& other = ports.addDevice("/dev/ttyOTHER" + std::to_string(i));
        (i % 2 == 0 ? other.controller.faults.silent : other.controller.faults.garbage) = true;
    }
    ports.addDevice("/dev/ttyCONTROLLER").timing.latency = Duration{5};
    const ORSSerialPortManager::Scope scope(ports);
    Result result = discover();
    report("simulated ports, Qt run loop", count, result,
           ports.openPorts() - (result.winner ? 1 : 0));
}

void terminals(std::size_t count, const std::string& simulator) {
    std::vector<std::unique_ptr<QProcess>> processes;
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < count; ++i) {
        auto process = std::make_unique<QProcess>();
        QStringList arguments;
        if (i + 1 < count) {
            arguments << (i % 2 == 0 ? "--silent" : "--garbage");
        }
        process->start(QString::fromStdString(simulator), arguments);
        processes.push_back(std::move(process));
    }
    for (const auto& process : processes) {
        process->waitForReadyRead(10000);
        paths.push_back(
            QString::fromUtf8(process->readLine()).trimmed().section(' ', -1).toStdString());
    }
    QtSerialPortManager system;
    SelectedPortManager ports(system, paths);
    const ORSSerialPortManager::Scope scope(ports);
    Result result = discover();
    report("korvane-sim on pseudo-terminals", count, result,
           openTerminals() - (result.winner ? 1 : 0));
    result.winner.reset();
    for (const auto& process : processes) {
        process->terminate();
        process->waitForFinished();
    }
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const std::string simulator =
        QCoreApplication::applicationDirPath().toStdString() + "/../korvane-sim";
    QtRunLoop loop;
    const RunLoop::Scope loopScope(loop);
    SilentLog quiet;
    const LogSink::Scope logScope(quiet);
    for (const std::size_t count : {1, 16, 64}) {
        simulatedPorts(count);
    }
    for (const std::size_t count : {1, 16, 64}) {
        terminals(count, simulator);
    }
    return 0;
}
