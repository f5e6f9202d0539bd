// Many updates and settings writes against a simulated controller with faults drawn at random.
// What must hold every time: nothing hangs; an update that reports success left the device's
// memory equal to the file; a write that reports success left the device's record equal to what
// was sent; and afterwards no link and no port stays open.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "app/ListSpeedPopup.h"
#include "app/MainViewControl.h"
#include "platform/Log.h"
#include "platform/VirtualRunLoop.h"
#include "sim/SimulatedPortManager.h"
#include "tests/support/HexImage.h"
#include "tests/support/RecordingView.h"

namespace korvane::testing {
namespace {

constexpr int kUpdates = 500;
constexpr int kWrites = 500;
constexpr const char* kPath = "/dev/ttySOAK0";
constexpr const char* kRebootNotice = "The device is rebooting. Click Connect button to reconnect";

struct Counts {
    int runs = 0;
    int faultsInjected = 0;
    int failuresReported = 0;
    int successes = 0;
    int silentCorruptions = 0;
    int hangs = 0;
    int portsLeftOpen = 0;
};

enum class Fault { none, silent, wrongHeader, shortReply, longReply, unplug, wrongSum, lateOpen };
constexpr int kFaultKinds = 8;

// One run: a fresh machine with one controller and a controller window.
class Run {
public:
    Run() {
        control->setSpeedPopup(&speeds);
        control->viewDidLoad();
    }

    // Draws a fault (or none) and switches it on; faults on the line may come before connecting.
    Fault inject(std::mt19937& random) {
        const auto fault =
            static_cast<Fault>(std::uniform_int_distribution<>(0, kFaultKinds - 1)(random));
        ControllerFaults& faults = device.controller.faults;
        std::uniform_int_distribution<> small(1, 6);
        switch (fault) {
            case Fault::none:
                break;
            case Fault::silent:
                faults.silent = true;
                break;
            case Fault::wrongHeader:
                faults.wrongHeader = true;
                break;
            case Fault::shortReply:
                faults.replyLengthDelta = -small(random);
                break;
            case Fault::longReply:
                faults.replyLengthDelta = small(random);
                break;
            case Fault::unplug:
                faults.unplugAtRequest =
                    device.controller.requests().size() +
                    std::uniform_int_distribution<std::uint64_t>(1, 40)(random);
                break;
            case Fault::wrongSum:
                faults.wrongVerifySum = true;
                break;
            case Fault::lateOpen:
                device.portFaults.openDelay =
                    Duration{std::uniform_int_distribution<>(900, 2000)(random)};
                break;
        }
        device.timing.chunkSize =
            static_cast<std::size_t>(std::uniform_int_distribution<>(0, 4)(random));
        return fault;
    }

    bool connect() {
        control->onConnect();
        settle();
        return control->isConnected();
    }

    // Runs every timer and answers every alert; false when it does not come to rest.
    bool settle() {
        for (int step = 0; step < 2'000'000; ++step) {
            while (!view.alerts.empty()) {
                seen.push_back(view.alerts.front().message);
                view.answer(0);
            }
            if (!loop.runNext()) {
                return true;
            }
        }
        return false;
    }

    bool noPortLeft() {
        control->resetGUI();
        settle();
        return ports.livePorts() == 0 && ports.openPorts() == 0;
    }

    VirtualRunLoop loop;
    SimulatedPortManager ports;
    SilentLog log;
    RecordingView view;
    ListSpeedPopup speeds;
    std::vector<std::string> seen;

private:
    RunLoop::Scope loopScope_{loop};
    ORSSerialPortManager::Scope portsScope_{ports};
    LogSink::Scope logScope_{log};

public:
    SimulatedDevice& device = ports.addDevice(kPath);
    std::shared_ptr<MainViewControl> control = MainViewControl::create(view);
};

HexImage randomImage(std::mt19937& random) {
    HexImage image;
    std::uniform_int_distribution<> byte(0, 255);
    const int records = std::uniform_int_distribution<>(1, 12)(random);
    image.upper(0x0000);
    for (int r = 0; r < records; ++r) {
        Bytes data(static_cast<std::size_t>(std::uniform_int_distribution<>(1, 32)(random)));
        for (auto& b : data) {
            b = static_cast<std::uint8_t>(byte(random));
        }
        image.data(0x0000, static_cast<std::uint16_t>(0x1000 + r * 32), data);
    }
    image.upper(0x00F0);
    image.data(0x00F0, 0x0200, {static_cast<std::uint8_t>(byte(random)), 1, 2});
    image.upper(0x0030);
    image.add(hexRecord(0x00, 0x0000, Bytes(8, 0x77)));
    return image;
}

bool memoryMatches(const SimulatedController& device, const HexImage& image) {
    for (const auto& [upper, bytes] : image.memory) {
        const auto& memory = upper == 0x00F0 ? device.eprom : device.programMemory;
        for (const auto& [address, value] : bytes) {
            if (memory[address] != value) {
                return false;
            }
        }
    }
    return true;
}

void soakUpdate(std::mt19937& random, Counts& counts) {
    Run run;
    const bool faultFirst = std::bernoulli_distribution(0.3)(random);
    Fault fault = faultFirst ? run.inject(random) : Fault::none;
    const bool connected = run.connect();
    if (!faultFirst) {
        fault = run.inject(random);
    }
    ++counts.runs;
    counts.faultsInjected += fault != Fault::none ? 1 : 0;
    bool success = false;
    if (connected) {
        const HexImage image = randomImage(random);
        run.control->loadDataFile(image.bytes());
        if (!run.settle()) {
            ++counts.hangs;
        }
        success = std::find(run.seen.begin(), run.seen.end(), kRebootNotice) != run.seen.end();
        if (success && !memoryMatches(run.device.controller, image)) {
            ++counts.silentCorruptions;
        }
    }
    (success ? counts.successes : counts.failuresReported) += 1;
    counts.portsLeftOpen += run.noPortLeft() ? 0 : 1;
}

void soakWrite(std::mt19937& random, Counts& counts) {
    Run run;
    const bool connected = run.connect();
    const Fault fault = run.inject(random);
    ++counts.runs;
    counts.faultsInjected += fault != Fault::none ? 1 : 0;
    bool success = false;
    if (connected) {
        MainViewControl& control = *run.control;
        switch (std::uniform_int_distribution<>(0, 2)(random)) {
            case 0:
                control.setIsAuto(1 - control.isAuto());
                break;
            case 1:
                control.setConfig((control.config() + 1) % 3);
                break;
            default:
                run.speeds.selectItemWithTitle(
                    std::to_string(std::uniform_int_distribution<>(1, 30)(random)));
                control.onSpeed(run.speeds);
                break;
        }
        if (!run.settle()) {
            ++counts.hangs;
        }
        success = control.setStatus().ends_with(" is updated") && control.link() != nullptr;
        if (success) {
            const ByteView sent = control.link()->settings.bytes().subspan(10);
            const ByteView stored = run.device.controller.settingsRecord();
            if (!std::equal(sent.begin(), sent.end(), stored.begin(), stored.end())) {
                ++counts.silentCorruptions;
            }
        }
    }
    (success ? counts.successes : counts.failuresReported) += 1;
    counts.portsLeftOpen += run.noPortLeft() ? 0 : 1;
}

TEST(SoakTest, UpdatesAndWritesUnderRandomFaults) {
    std::mt19937 random(20261206);
    Counts counts;
    for (int i = 0; i < kUpdates; ++i) {
        soakUpdate(random, counts);
    }
    const int updatesDone = counts.successes;
    for (int i = 0; i < kWrites; ++i) {
        soakWrite(random, counts);
    }
    std::printf(
        "soak: %d runs, %d faults injected, %d failures reported, %d successes, %d silent "
        "corruptions, %d hangs, %d ports left open (updates done: %d)\n",
        counts.runs, counts.faultsInjected, counts.failuresReported, counts.successes,
        counts.silentCorruptions, counts.hangs, counts.portsLeftOpen, updatesDone);
    EXPECT_EQ(counts.runs, kUpdates + kWrites);
    EXPECT_EQ(counts.silentCorruptions, 0);
    EXPECT_EQ(counts.hangs, 0);
    EXPECT_EQ(counts.portsLeftOpen, 0);
    // The faults did bite, and runs without one did succeed.
    EXPECT_GT(counts.failuresReported, counts.runs / 4);
    EXPECT_GT(counts.successes, counts.runs / 4);
    EXPECT_GT(updatesDone, kUpdates / 8);
    EXPECT_GT(counts.successes - updatesDone, kWrites / 8);
}

}  // namespace
}  // namespace korvane::testing
