#include <gtest/gtest.h>

#include "tests/support/SimulatedBench.h"
#include "tests/support/WireBytes.h"

namespace korvane::testing {
namespace {

using DeviceOperationsTest = SimulatedBench;

TEST_F(DeviceOperationsTest, IdentifyThenReadSettingsOnTheWire) {
    auto link = openLink();
    EXPECT_EQ(complete(*link, &SimpleSerial::identify), std::optional(true));
    ASSERT_EQ(wire().size(), 2u);
    EXPECT_EQ(wire()[0], frameBytes(kIdentifyEntry));
    EXPECT_EQ(wire()[1], frameBytes(kReadSettingsEntry));
    EXPECT_EQ(link->identityText, "Bootloader: 012A, Device ID: BEEF, Soft: 07");
    EXPECT_EQ(log.count("got eprom: Bootloader: 012A, Device ID: BEEF, Soft: 07"), 1u);
    EXPECT_EQ(link->settings.speedLimit, 19);
    // Both waits run their whole budget: 200 ms each.
    EXPECT_EQ(loop.now(), kOpenCheckDelay + Duration{400});
}

TEST_F(DeviceOperationsTest, IdentifyRefusesAnythingButTheExactReply) {
    // Longer, shorter, or another frame's header.
    for (const auto& [delta, wrongHeader] : {std::pair{+1, false}, {-1, false}, {0, true}}) {
        device().faults.replyLengthDelta = delta;
        device().faults.wrongHeader = wrongHeader;
        auto link = openLink();
        device().clearRequests();
        EXPECT_EQ(complete(*link, &SimpleSerial::identify), std::optional(false));
        EXPECT_TRUE(link->identityText.empty());
        EXPECT_EQ(link->settings.bytes()[10], 0);
        EXPECT_EQ(wire().size(), 1u) << "nothing follows a refused identify";
    }
    EXPECT_EQ(log.countStartingWith("got eprom"), 0u);
}

TEST_F(DeviceOperationsTest, SettingsReplyOfWrongLengthLeavesSettingsUnchanged) {
    auto link = readyLink();
    const DeviceSettings before = link->settings;
    const std::uint8_t changed[] = {0x09, 0x02, 0x03, 0x09, 25, 0x01};
    device().setSettingsRecord(changed);
    for (const int delta : {-1, +1}) {
        device().faults.replyLengthDelta = delta;
        EXPECT_EQ(complete(*link, &SimpleSerial::readSettings), std::optional(false));
        EXPECT_EQ(bytesOf(link->settings.bytes()), bytesOf(before.bytes()));
    }
}

TEST_F(DeviceOperationsTest, SettingsReplyWithWrongHeaderIsRefusedButKept) {
    auto link = readyLink();
    device().faults.unanswered = {CommandCode::ReadEprom};
    const Bytes reply = concat(frameBytes(kWriteSettingsEntry),
                               Bytes{0x08, 0x02, 0x00, 0x12, 22, 0x01, 1, 2, 3, 4, 5, 6});
    loop.schedule(Duration{30}, [&] { controller().transmit(reply); });
    EXPECT_EQ(complete(*link, &SimpleSerial::readSettings), std::optional(false));
    EXPECT_EQ(bytesOf(link->settings.bytes()), reply);
    EXPECT_EQ(link->identityText, "Bootloader: 012A, Device ID: BEEF, Soft: 07");
}

TEST_F(DeviceOperationsTest, SetterWritesTheRecordAsLastReadWithOneByteChanged) {
    auto link = readyLink();
    device().clearRequests();
    EXPECT_EQ(complete(*link, &SimpleSerial::setSpeedLimit, 25), std::optional(true));
    ASSERT_EQ(wire().size(), 2u);
    EXPECT_EQ(wire()[0],
              concat(frameBytes(kWriteSettingsEntry),
                     Bytes{0x07, 0x01, 0x03, 0x09, 25, 0x00, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6}));
    EXPECT_EQ(wire()[1], frameBytes(kReadSettingsEntry));
    EXPECT_EQ(device().settingsRecord()[4], 25);
    // The version is carried once, also after the read that follows a write.
    EXPECT_EQ(link->identityText, "Bootloader: 012A, Device ID: BEEF, Soft: 07");

    device().clearRequests();
    complete(*link, &SimpleSerial::setAutoMode, 1);
    complete(*link, &SimpleSerial::setConfigMode, 4);
    EXPECT_EQ(wire()[0][15], 1);
    EXPECT_EQ(wire()[2][11], 4);
    EXPECT_EQ(wire()[2][15], 1);
    EXPECT_EQ(device().settingsRecord()[1], 4);
}

TEST_F(DeviceOperationsTest, WriteFailsWithoutEchoOrWithoutReadBack) {
    auto link = readyLink();
    device().clearRequests();
    device().faults.unanswered = {CommandCode::ReadEprom};
    EXPECT_EQ(complete(*link, &SimpleSerial::setAutoMode, 1), std::optional(false));
    EXPECT_EQ(wire().size(), 2u) << "the echo was there, so the read-back was asked for";

    device().clearRequests();
    device().faults.unanswered = {CommandCode::WriteEprom};
    EXPECT_EQ(complete(*link, &SimpleSerial::setAutoMode, 1), std::optional(false));
    EXPECT_EQ(wire().size(), 1u) << "no read-back after a write that was not echoed";
    // Not confirmed: the record as last read, not the value sent.
    EXPECT_EQ(frameIndex(link->settings.header), kReadSettingsEntry);
    EXPECT_EQ(link->settings.autoMode, 0);
}

TEST_F(DeviceOperationsTest, WriteCountsOnlyWhenTheReadBackHoldsTheChangedField) {
    const struct {
        void (SimpleSerial::*setter)(int, ResultBlock);
        int value;
        std::size_t recordByte;
        const char* logged;
    } setters[] = {
        {&SimpleSerial::setConfigMode, 4, 1, "write not kept: configMode is 1, not 4"},
        {&SimpleSerial::setSpeedLimit, 25, 4, "write not kept: speedLimit is 19, not 25"},
        {&SimpleSerial::setAutoMode, 1, 5, "write not kept: autoMode is 0, not 1"},
    };
    for (const auto& row : setters) {
        auto link = readyLink();
        const std::uint8_t before = device().settingsRecord()[row.recordByte];
        // Echoed, yet the old record is kept.
        device().faults.refuseWrites = true;
        EXPECT_EQ(complete(*link, row.setter, row.value), std::optional(false)) << row.logged;
        EXPECT_EQ(log.count(row.logged), 1u);
        EXPECT_EQ(link->settings.bytes()[kFrameLength + row.recordByte], before)
            << "the link holds what the device holds";

        // The device may change other bytes of its record; only the field counts.
        device().faults.refuseWrites = false;
        loop.schedule(Duration{100}, [&] {
            const std::uint8_t newVersion[] = {9};
            device().setSettingsRecord(newVersion);
        });
        EXPECT_EQ(complete(*link, row.setter, row.value), std::optional(true)) << row.logged;
        EXPECT_EQ(link->settings.softwareVersion, 9);
        device().faults = {};
        device().setSettingsRecord(std::array<std::uint8_t, 6>{7, 1, 3, 9, 19, 0});
    }
}

TEST_F(DeviceOperationsTest, SoftwareVersionIsShownWithAtLeastTwoDigits) {
    const std::uint8_t record[] = {123};
    device().setSettingsRecord(record);
    device().bootloaderVersion = {0x01, 0x02};
    device().deviceId = {0x1A, 0x2B};
    auto link = readyLink();
    EXPECT_EQ(link->identityText, "Bootloader: 0102, Device ID: 1A2B, Soft: 123");
}

}  // namespace
}  // namespace korvane::testing
