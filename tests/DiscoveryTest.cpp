#include <gtest/gtest.h>

#include "app/AccessHint.h"
#include "platform/SelectedPortManager.h"
#include "serial/DeviceSearch.h"
#include "tests/support/SimulatedBench.h"

namespace korvane::testing {
namespace {

class DiscoveryTest : public SimulatedBench {
protected:
    // Starts a search and records each completion with its time.
    void find() {
        SimpleSerial::findDevice([this](std::unique_ptr<SimpleSerial> link) {
            ++completions;
            foundAt = loop.now();
            winner = std::move(link);
        });
    }

    int completions = 0;
    Duration foundAt{-1};
    std::unique_ptr<SimpleSerial> winner;
};

TEST_F(DiscoveryTest, NoPortCompletesAtOnce) {
    SimulatedPortManager none;
    const ORSSerialPortManager::Scope scope(none);
    find();
    EXPECT_EQ(std::pair(completions, winner.get()), std::pair(1, (SimpleSerial*)nullptr));
}

TEST_F(DiscoveryTest, DeviceAmongPortsWithoutOne) {
    ports.addDevice("/dev/ttyS1").portFaults.neverOpens = true;
    ports.addDevice("/dev/ttyS2").controller.faults.silent = true;
    find();
    loop.runFor(Duration{1000});
    EXPECT_EQ(ports.device("/dev/ttyS1")->livePorts(), 0u) << "fails at the open check";
    EXPECT_EQ(ports.device("/dev/ttyS2")->livePorts(), 1u);
    loop.runFor(Duration{199});
    EXPECT_EQ(ports.device("/dev/ttyS2")->livePorts(), 1u);
    loop.runFor(Duration{1});
    EXPECT_EQ(ports.device("/dev/ttyS2")->livePorts(), 0u) << "fails when identify runs out";
    EXPECT_EQ(completions, 0);
    loop.runUntilIdle();
    EXPECT_EQ(std::pair(completions, foundAt), std::pair(1, Duration{1400}));
    ASSERT_NE(winner, nullptr);
    EXPECT_EQ(winner->portPath(), kControllerPath);
    EXPECT_TRUE(winner->deviceReady);
    EXPECT_EQ(ports.livePorts(), 1u);
}

TEST_F(DiscoveryTest, FirstOfTwoDevicesWinsAndTheOtherIsClosed) {
    SimulatedDevice& second = ports.addDevice("/dev/ttyS1");
    // The second answers later, but within the same budget: both would succeed.
    second.timing.latency = Duration{150};
    find();
    loop.runUntil([&] { return completions > 0; });
    EXPECT_EQ(second.livePorts(), 0u) << "closed when the winner is found";
    EXPECT_EQ(winner->othersIdentified, std::vector<std::string>{"/dev/ttyS1"});
    loop.runUntilIdle();
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(winner->portPath(), kControllerPath);
    EXPECT_EQ(ports.openPorts(), 1u);
}

TEST_F(DiscoveryTest, SearchForAllKeepsEveryAnsweringPortOnceInTheOrderOfPaths) {
    ports.addDevice("/dev/ttyS1").controller.faults.silent = true;
    ports.addDevice("/dev/ttyS2").timing.latency = Duration{150};
    SelectedPortManager selected(ports,
                                 {"/dev/ttyS2", kControllerPath, "/dev/ttyS1", kControllerPath});
    const ORSSerialPortManager::Scope scope(selected);
    std::vector<std::unique_ptr<SimpleSerial>> found;
    const auto search = DeviceSearch::all(
        [&](std::vector<std::unique_ptr<SimpleSerial>> links) {
            ++completions;
            foundAt = loop.now();
            found = std::move(links);
        },
        TransferMode::standard, nullptr);
    loop.runUntilIdle();
    EXPECT_EQ(std::pair(completions, foundAt), std::pair(1, Duration{1400}));
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0]->portPath() + " " + found[1]->portPath(), "/dev/ttyS2 /dev/ttySIM0");
    EXPECT_TRUE(found[0]->deviceReady);
    EXPECT_EQ(log.count("Device /dev/ttySIM0 Opened\r\n") +
                  log.count("Device /dev/ttySIM0 Not opened\r\n"),
              1u)
        << "a port listed twice is probed once";
    EXPECT_EQ(ports.device("/dev/ttyS1")->livePorts(), 0u);
}

TEST_F(DiscoveryTest, NoDeviceAnywhereReportsNoneOnceAtTheLastFailure) {
    controller().controller.faults.silent = true;
    ports.addDevice("/dev/ttyS1").controller.faults.garbage = true;
    ports.addDevice("/dev/ttyS2").portFaults.openDelay = Duration{1500};
    // Identified, but its settings go unanswered: the last to fail.
    ports.addDevice("/dev/ttyS3").controller.faults.unanswered = {CommandCode::ReadEprom};
    find();
    loop.runUntilIdle();
    EXPECT_EQ(std::pair(completions, foundAt), std::pair(1, Duration{1400}));
    EXPECT_EQ(winner, nullptr);
    EXPECT_EQ(ports.livePorts(), 0u);
}

TEST_F(DiscoveryTest, APortThatClosesAfterItAnsweredHoldsNoControllerAndIsSentNothing) {
    // Closed once identify has been answered, or the settings read: before the next poll.
    for (const std::size_t answered : {1u, 2u}) {
        SCOPED_TRACE(answered);
        controller().setPresent(true);
        device().clearRequests();
        completions = 0;
        find();
        loop.runUntil([&] { return wire().size() == answered; });
        loop.runFor(Duration{50});
        controller().unplug();
        loop.runUntilIdle();
        EXPECT_EQ(completions, 1);
        EXPECT_EQ(winner, nullptr);
        EXPECT_EQ(controller().sendsWhileClosed(), 0u);
    }
    // The attempt is logged, then why it went nowhere.
    const auto& lines = log.lines();
    const auto unsent =
        std::find(lines.begin(), lines.end(), "Not sent to /dev/ttySIM0, which has closed");
    ASSERT_NE(unsent, lines.end());
    EXPECT_EQ(unsent[-1], "Writing <55 04 0C 00 00 00 10 00 F0 00>");
    EXPECT_EQ(std::count(unsent, lines.end(), *unsent), 1);
}

TEST_F(DiscoveryTest, PortWithoutPermissionIsLoggedWithTheReasonAndHinted) {
    controller().controller.faults.silent = true;
    ports.addDevice("/dev/ttyACM1").portFaults.noAccess = true;
    find();
    loop.runUntilIdle();
    EXPECT_EQ(winner, nullptr);
    EXPECT_EQ(log.count("didEncounterError /dev/ttyACM1: Permission denied"), 1u);
    EXPECT_EQ(log.count("Device /dev/ttyACM1 Not opened\r\n"), 1u);
#ifdef __linux__
    EXPECT_EQ(accessHint(ports),
              "No permission to open /dev/ttyACM1: add yourself to the dialout group (sudo usermod "
              "-aG dialout $USER) and log in again");
#else
    EXPECT_EQ(accessHint(ports), "No permission to open /dev/ttyACM1");
#endif
    ports.device("/dev/ttyACM1")->portFaults.noAccess = false;
    EXPECT_EQ(accessHint(ports), "");
}

}  // namespace
}  // namespace korvane::testing
