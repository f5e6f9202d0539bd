// Discovery on virtual time: every port probed at once, the first controller that answers wins,
// the others are closed, and a search that finds none says so once, at its last failure.
#include <gtest/gtest.h>

#include "app/AccessHint.h"
#include "platform/SelectedPortManager.h"
#include "serial/DeviceSearch.h"
#include "tests/support/SimulatedBench.h"

namespace korvane::testing {
namespace {

using DiscoveryTest = SimulatedBench;

// clang-format off
// The ports beside a controller on /dev/ttySIM0, and what a search finds: the port taken, when,
// the other controllers it names, and the ports still there when it ends.
const struct { const char* ports; void (*add)(SimulatedPortManager&); const char* taken; int atMs; std::vector<std::string> others; std::size_t live; } kSearches[] = {
    {"one that never opens, one silent", [](SimulatedPortManager& p) { p.addDevice("/dev/ttyS1").portFaults.neverOpens = true; p.addDevice("/dev/ttyS2").controller.faults.silent = true; }, "/dev/ttySIM0", 1400, {}, 1},
    // The second answers later, but within the same budget: both would succeed.
    {"a slower controller", [](SimulatedPortManager& p) { p.addDevice("/dev/ttyS1").timing.latency = Duration{150}; }, "/dev/ttySIM0", 1400, {"/dev/ttyS1"}, 1},
    // Silent, garbage, opening too late, its settings unanswered (the last to fail).
    {"no controller", [](SimulatedPortManager& p) { p.device("/dev/ttySIM0")->controller.faults.silent = true; p.addDevice("/dev/ttyS1").controller.faults.garbage = true;
         p.addDevice("/dev/ttyS2").portFaults.openDelay = Duration{1500}; p.addDevice("/dev/ttyS3").controller.faults.unanswered = {CommandCode::ReadEprom}; }, "", 1400, {}, 0},
    {"no port at all", [](SimulatedPortManager& p) { p.device("/dev/ttySIM0")->setPresent(false); }, "", 0, {}, 0},
    // Closed after it answered identify, or the settings read: it holds no controller, and is sent nothing.
    {"the controller's, closed at 1050 ms", [](SimulatedPortManager& p) { RunLoop::current().schedule(Duration{1050}, [&p] { p.device("/dev/ttySIM0")->unplug(); }); }, "", 1400, {}, 0},
    {"the controller's, closed at 1250 ms", [](SimulatedPortManager& p) { RunLoop::current().schedule(Duration{1250}, [&p] { p.device("/dev/ttySIM0")->unplug(); }); }, "", 1400, {}, 0},
};
// clang-format on

TEST_F(DiscoveryTest, TheFirstControllerToAnswerWinsAndTheOtherPortsAreClosed) {
    for (const auto& row : kSearches) {
        SimulatedPortManager machine;
        const ORSSerialPortManager::Scope scope(machine);
        machine.addDevice(kControllerPath);
        row.add(machine);
        const Duration start = loop.now();
        std::vector<std::pair<Duration, std::unique_ptr<SimpleSerial>>> found;
        std::size_t live = 0;
        SimpleSerial::findDevice([&](std::unique_ptr<SimpleSerial> link) {
            found.emplace_back(loop.now() - start, std::move(link));
            live = machine.livePorts();
        });
        loop.runUntilIdle();
        ASSERT_EQ(found.size(), 1u) << row.ports;
        const SimpleSerial* link = found[0].second.get();
        EXPECT_EQ(link ? link->portPath() : "", row.taken) << row.ports;
        EXPECT_EQ(found[0].first, Duration{row.atMs}) << row.ports;
        EXPECT_EQ(link ? link->othersIdentified : std::vector<std::string>{}, row.others);
        EXPECT_EQ(live, row.live) << row.ports;
        EXPECT_TRUE(!link || link->deviceReady);
        EXPECT_EQ(machine.device(kControllerPath)->sendsWhileClosed(), 0u) << row.ports;
    }
    // A send to the closed port is logged, then why it went nowhere.
    const auto& lines = log.lines();
    const auto unsent =
        std::find(lines.begin(), lines.end(), "Not sent to /dev/ttySIM0, which has closed");
    ASSERT_NE(unsent, lines.end());
    EXPECT_EQ(unsent[-1], "Writing <55 04 0C 00 00 00 10 00 F0 00>");
    EXPECT_EQ(std::count(unsent, lines.end(), *unsent), 1);
}

TEST_F(DiscoveryTest, ASearchForAllKeepsEveryAnsweringPortOnceInTheOrderOfPaths) {
    ports.addDevice("/dev/ttyS1").controller.faults.silent = true;
    ports.addDevice("/dev/ttyS2").timing.latency = Duration{150};
    ports.addDevice("/dev/ttyACM0").portFaults.noAccess = true;
    SelectedPortManager selected(
        ports, {"/dev/ttyS2", kControllerPath, "/dev/ttyS1", kControllerPath, "/dev/ttyACM0"});
    const ORSSerialPortManager::Scope scope(selected);
    std::vector<std::pair<Duration, std::string>> found;
    const auto search = DeviceSearch::all(
        [&](std::vector<std::unique_ptr<SimpleSerial>> links) {
            for (const auto& link : links) {
                found.emplace_back(loop.now(),
                                   link->portPath() + (link->deviceReady ? "" : " not ready"));
            }
        },
        TransferMode::standard,
        [&](const std::vector<PortProbe>& failed) {
            for (const PortProbe& probe : failed) {
                found.emplace_back(loop.now(), probe.path + ": " + probeReason(probe));
            }
        });
    loop.runUntilIdle();
    // The ports that did not answer are reported first, each with why.
    EXPECT_EQ(found, (std::vector<std::pair<Duration, std::string>>{
                         {Duration{1400}, "/dev/ttyACM0: no permission"},
                         {Duration{1400}, "/dev/ttyS1: silent"},
                         {Duration{1400}, "/dev/ttyS2"},
                         {Duration{1400}, "/dev/ttySIM0"}}));
    EXPECT_EQ(log.count("Device /dev/ttySIM0 Opened\r\n"), 1u)
        << "a port listed twice is probed once";
    EXPECT_EQ(ports.device("/dev/ttyS1")->livePorts(), 0u);
}

}  // namespace
}  // namespace korvane::testing
