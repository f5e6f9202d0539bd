#include <gtest/gtest.h>

#include "tests/support/SimulatedBench.h"

namespace korvane::testing {
namespace {

using LinkLifetimeTest = SimulatedBench;

TEST_F(LinkLifetimeTest, CloseBeforeOpenReachesNoLink) {
    SimpleSerial link(kControllerPath);
    int losses = 0;
    link.connectionLostBlock = [&](bool) {
        ++losses;
    };
    loop.runFor(Duration{0});
    EXPECT_TRUE(link.receiver().isOpened());
    controller().unplug();
    EXPECT_FALSE(link.receiver().isOpened());
    EXPECT_EQ(losses, 0);
    EXPECT_EQ(log.count("serialPortWasClosed"), 1u);
}

TEST_F(LinkLifetimeTest, DestroyingAnOpenLinkClosesThePortWithoutALossReport) {
    auto link = openLink();
    int losses = 0;
    link->connectionLostBlock = [&](bool) {
        ++losses;
    };
    EXPECT_EQ(ports.openPorts(), 1u);
    link.reset();
    EXPECT_EQ(ports.openPorts(), 0u);
    EXPECT_EQ(ports.livePorts(), 0u);
    EXPECT_EQ(losses, 0);
    EXPECT_EQ(log.count("serialPortWasClosed"), 0u);
}

TEST_F(LinkLifetimeTest, LossCallsTheBlockOnceAndChangesNothingElse) {
    auto link = readyLink();
    std::vector<bool> calls;
    link->connectionLostBlock = [&](bool lost) {
        calls.push_back(lost);
    };
    const std::string identity = link->identityText;
    const Bytes settings(link->settings.bytes().begin(), link->settings.bytes().end());
    controller().unplug();
    loop.runUntilIdle();
    EXPECT_EQ(calls, std::vector<bool>{true});
    EXPECT_TRUE(link->deviceReady);
    EXPECT_EQ(link->identityText, identity);
    EXPECT_EQ(Bytes(link->settings.bytes().begin(), link->settings.bytes().end()), settings);
}

TEST_F(LinkLifetimeTest, LossDuringAWaitLetsTheWaitRunOut) {
    auto link = readyLink();
    int losses = 0;
    link->connectionLostBlock = [&](bool) {
        ++losses;
    };
    controller().controller.faults.unplugAtRequest = 3;
    const Duration start = loop.now();
    EXPECT_EQ(complete([&](ResultBlock done) { link->setAutoMode(1, done); }),
              std::optional(false));
    EXPECT_EQ(loop.now() - start, Duration{200});
    EXPECT_EQ(losses, 1);
}

TEST_F(LinkLifetimeTest, DestroyingALinkCancelsItsWaitsAndChecks) {
    for (const Duration destroyAfter : {Duration{500}, Duration{1100}, Duration{1300}}) {
        int completions = 0;
        auto link = std::make_unique<SimpleSerial>(kControllerPath);
        link->probe([&](bool) { ++completions; });
        loop.runFor(destroyAfter);
        link.reset();
        loop.runUntilIdle();
        EXPECT_EQ(completions, 0) << destroyAfter.count();
        EXPECT_EQ(loop.pendingTimers(), 0u);
        EXPECT_EQ(ports.openPorts(), 0u);
    }
}

TEST_F(LinkLifetimeTest, PortThatDoesNotExistNeverOpens) {
    SimpleSerial link("/dev/ttyNOWHERE");
    EXPECT_FALSE(link.send(CommandTable[kIdentifyEntry]));
    EXPECT_EQ(complete([&](ResultBlock done) { link.probe(done); }), std::optional(false));
    EXPECT_EQ(log.count("Device /dev/ttyNOWHERE Not opened\r\n"), 1u);
    EXPECT_FALSE(link.deviceReady);
}

TEST_F(LinkLifetimeTest, OpenCheckLogsThePortAndItsUsbIds) {
    auto link = openLink();
    EXPECT_EQ(log.count("Device /dev/ttySIM0 Opened\r\n"), 1u);
    EXPECT_EQ(log.count("Device info. Name: ttySIM0, Path: /dev/ttySIM0, Dict: {idProduct = 10; "
                        "idVendor = 1240}, VendorId: 1240, ProductId: 10"),
              1u);
}

TEST_F(LinkLifetimeTest, PortThatOpensTooLateFailsTheProbe) {
    controller().portFaults.openDelay = Duration{1500};
    SimpleSerial link(kControllerPath);
    EXPECT_EQ(complete([&](ResultBlock done) { link.probe(done); }), std::optional(false));
    EXPECT_EQ(loop.now(), Duration{1000});
}

}  // namespace
}  // namespace korvane::testing
