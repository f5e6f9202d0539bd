#include <gtest/gtest.h>

#include "tests/support/SimulatedBench.h"
#include "tests/support/WireBytes.h"

namespace korvane::testing {
namespace {

using LinkLifetimeTest = SimulatedBench;

TEST_F(LinkLifetimeTest, OnlyTheDeviceClosingAnOpenPortIsALoss) {
    std::vector<bool> losses;
    const auto reported = [&](std::unique_ptr<SimpleSerial> link) {
        link->connectionLostBlock = [&](bool lost) {
            losses.push_back(lost);
        };
        return link;
    };
    auto link = reported(std::make_unique<SimpleSerial>(kControllerPath));
    // Closed by the device before the link looked at it: nothing to report yet.
    loop.runFor(Duration{0});
    controller().unplug();
    EXPECT_FALSE(link->receiver().isOpened());
    EXPECT_TRUE(losses.empty());
    // The device left the system: told, then the close.
    EXPECT_EQ(std::vector(log.lines().end() - 2, log.lines().end()),
              (std::vector<std::string>{"serialPortWasRemovedFromSystem", "serialPortWasClosed"}));

    // Lost during an exchange, a write of the value held: the wait runs out all the same.
    link = reported(readyLink());
    const std::string identity = link->identityText;
    const Bytes record = bytesOf(link->settings.bytes().subspan(kFrameLength));
    controller().controller.faults.unplugAtRequest = 3;
    const Duration start = loop.now();
    EXPECT_EQ(complete(*link, &SimpleSerial::setAutoMode, 0), std::optional(false));
    EXPECT_EQ(loop.now() - start, Duration{200});
    EXPECT_EQ(losses, std::vector<bool>{true});
    EXPECT_TRUE(link->deviceReady);
    EXPECT_EQ(link->identityText, identity);
    EXPECT_EQ(bytesOf(link->settings.bytes().subspan(kFrameLength)), record);

    // Destroyed by its holder: the port closes without a report.
    link = reported(openLink());
    link.reset();
    EXPECT_EQ(ports.livePorts(), 0u);
    EXPECT_EQ(losses.size(), 1u);
    EXPECT_EQ(log.count("serialPortWasClosed"), 2u);
    EXPECT_EQ(log.count("serialPortWasRemovedFromSystem"), 2u);
}

TEST_F(LinkLifetimeTest, DestroyingALinkCancelsItsWaitsAndChecks) {
    for (const Duration destroyAfter : {Duration{500}, Duration{1100}, Duration{1300}}) {
        int completions = 0;
        auto link = std::make_unique<SimpleSerial>(kControllerPath);
        link->probe([&](bool) { ++completions; });
        loop.runFor(destroyAfter);
        link.reset();
        EXPECT_EQ(loop.pendingTimers(), 0u) << destroyAfter.count();
        loop.runUntilIdle();
        EXPECT_EQ(completions, 0) << destroyAfter.count();
        EXPECT_EQ(ports.openPorts(), 0u);
    }
}

TEST_F(LinkLifetimeTest, OpenCheckSaysWhatItFoundOneSecondOn) {
    auto link = openLink();
    EXPECT_EQ(log.count("Device /dev/ttySIM0 Opened\r\n"), 1u);
    EXPECT_EQ(log.count("Device info. Name: ttySIM0, Path: /dev/ttySIM0, Dict: {idProduct = 10; "
                        "idVendor = 1240}, VendorId: 1240, ProductId: 10"),
              1u);

    SimpleSerial nowhere("/dev/ttyNOWHERE");
    EXPECT_FALSE(nowhere.send(CommandTable[kIdentifyEntry]));
    EXPECT_EQ(complete(nowhere, &SimpleSerial::probe), std::optional(false));
    EXPECT_EQ(log.count("Device /dev/ttyNOWHERE Not opened\r\n"), 1u);
    EXPECT_FALSE(nowhere.deviceReady);

    controller().portFaults.openDelay = Duration{1500};
    SimpleSerial late(kControllerPath);
    const Duration start = loop.now();
    EXPECT_EQ(complete(late, &SimpleSerial::probe), std::optional(false));
    EXPECT_EQ(loop.now() - start, Duration{1000});
}

}  // namespace
}  // namespace korvane::testing
