#include <gtest/gtest.h>

#include "tests/support/HexImage.h"
#include "tests/support/SimulatedBench.h"
#include "tests/support/WireBytes.h"

namespace korvane::testing {
namespace {

class FirmwareCommandsTest : public SimulatedBench {
protected:
    void SetUp() override {
        link = openLink();
        link->resetFirmwareState();
    }

    // Writes the line; the result, with whether it came within the call.
    std::pair<std::optional<bool>, bool> write(const std::string& line) {
        std::optional<bool> result;
        link->writeRecord(line, [&](bool success) { result = success; });
        const bool atOnce = result.has_value();
        loop.runUntil([&] { return result.has_value(); });
        return {result, atOnce};
    }

    std::unique_ptr<SimpleSerial> link;
};

Bytes sixteen() {
    Bytes data(16);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(0xA0 + i);
    }
    return data;
}

TEST_F(FirmwareCommandsTest, EachRegionsRecordsGoOnTheWireAsItWants) {
    const struct {
        std::uint16_t upper;
        std::string line;
        std::vector<Bytes> wire;
        // Each wait ends at the first poll after its reply.
        Duration took;
    } cases[] = {
        // Program memory: the write, then a Verify of the record's word sum.
        {0x0000,
         hexRecord(0x00, 0x0100, sixteen()),
         {concat({0x55, 0x02, 0x10, 0x00, 0x55, 0xAA, 0x00, 0x01, 0x00, 0x00}, sixteen()),
          {0x55, 0x08, 0x10, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00}},
         Duration{20}},
        {0x0000,
         hexRecord(0x00, 0x1000, {}),
         {{0x55, 0x02, 0x00, 0x00, 0x55, 0xAA, 0x00, 0x10, 0x00, 0x00},
          {0x55, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00}},
         Duration{20}},
        // The eprom: no Verify.
        {0x00F0,
         hexRecord(0x00, 0x0020, {1, 2, 3}),
         {{0x55, 0x05, 0x03, 0x00, 0x55, 0xAA, 0x20, 0x00, 0xF0, 0x00, 1, 2, 3}},
         Duration{10}},
        // Memory the controller lacks: skipped, within the call.
        {0x0030, hexRecord(0x00, 0x0040, {7}), {}, Duration{0}},
    };
    for (const auto& each : cases) {
        device().clearRequests();
        EXPECT_EQ(write(upperAddressRecord(each.upper)), std::make_pair(std::optional(true), true));
        const Duration start = loop.now();
        EXPECT_EQ(write(each.line).first, std::optional(true)) << each.line;
        EXPECT_EQ(wire(), each.wire) << each.line;
        EXPECT_EQ(loop.now() - start, each.took) << each.line;
    }
    EXPECT_EQ(device().programMemory[0x0100], 0xA0);
    EXPECT_EQ(device().eprom[0x0022], 3);
    // The last Verify of an update still finds the last record's address.
    EXPECT_EQ(complete(*link, &SimpleSerial::verifyRecord), std::optional(true));
    EXPECT_EQ(wire().back(), (Bytes{0x55, 0x08, 0x00, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00}));
}

TEST_F(FirmwareCommandsTest, RecordsThatCannotBeProgrammedFailAtOnce) {
    for (const std::string line : {":00000001FF", ":0400", ":", "", ":01000004AA", ":FF00000001"}) {
        EXPECT_EQ(write(line), std::make_pair(std::optional(false), true)) << line;
    }
    EXPECT_EQ(log.count("Could not update firmware. 3"), 1u);
    EXPECT_TRUE(wire().empty());
}

TEST_F(FirmwareCommandsTest, RepliesAreJudgedExactly) {
    // A write is acknowledged by 11 bytes whose last is 1; a Verify answered by at least 12, the
    // word sum of the data in bytes 10-11. Data 01 02 sums to 0x0201.
    const Bytes header = {0x55, 0x02, 0x02, 0x00, 0x55, 0xAA, 0x00, 0x10, 0x00, 0x00};
    const Bytes verifyHeader = {0x55, 0x08, 0x02, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00};
    const struct {
        Bytes acknowledgement;
        Bytes verifyReply;
        bool written;
    } cases[] = {
        {concat(header, {1}), concat(verifyHeader, {0x01, 0x02}), true},
        {concat(header, {1}), concat(verifyHeader, {0x01, 0x02, 0x00}), true},
        {concat(header, {1}), concat(verifyHeader, {0x01}), false},
        {concat(header, {1}), concat(verifyHeader, {0x02, 0x01}), false},
        {concat(header, {2}), {}, false},
        {concat(header, {0}), {}, false},
        {concat(header, {1, 1}), {}, false},
        {header, {}, false},
    };
    device().faults.unanswered = {CommandCode::WriteProgram, CommandCode::Verify};
    for (const auto& each : cases) {
        device().clearRequests();
        const std::size_t logged = log.countStartingWith("Could not update firmware");
        // The write's wait polls at 10 ms; the Verify follows at once and polls at 20 ms.
        loop.schedule(Duration{3}, [&] { controller().transmit(each.acknowledgement); });
        loop.schedule(Duration{13}, [&] { controller().transmit(each.verifyReply); });
        EXPECT_EQ(write(hexRecord(0x00, 0x1000, {1, 2})).first, std::optional(each.written))
            << describeBytes(each.acknowledgement) << describeBytes(each.verifyReply);
        EXPECT_EQ(wire().size(), each.verifyReply.empty() ? 1u : 2u);
        // A refused acknowledgement is logged; a refused Verify is not.
        EXPECT_EQ(log.countStartingWith("Could not update firmware") - logged,
                  each.verifyReply.empty() ? 1u : 0u);
        loop.runUntilIdle();
    }
    EXPECT_EQ(log.count("Could not update firmware 2. success: 1, datalen: 12"), 1u);

    device().faults = {};
    device().faults.silent = true;
    const Duration start = loop.now();
    EXPECT_EQ(write(hexRecord(0x00, 0x1000, {1, 2})).first, std::optional(false));
    EXPECT_EQ(loop.now() - start, Duration{1000});
    EXPECT_EQ(log.count("Could not update firmware 2. success: 0, datalen: 0"), 1u);
}

TEST_F(FirmwareCommandsTest, LargestRecordFitsOneRequest) {
    EXPECT_EQ(write(hexRecord(0x00, 0x1000, Bytes(245, 7))).first, std::optional(true));
    EXPECT_EQ(wire()[0].size(), 255u);
    EXPECT_EQ(write(hexRecord(0x00, 0x1000, Bytes(246, 7))),
              std::make_pair(std::optional(false), true));
    EXPECT_EQ(wire().size(), 2u) << "the record and its Verify, nothing of the second";
}

TEST_F(FirmwareCommandsTest, VerifyAfterResetAsksForNothing) {
    std::optional<bool> verified;
    link->verifyRecord([&](bool ok) { verified = ok; });
    loop.runUntilIdle();
    EXPECT_EQ(wire()[0], (Bytes{0x55, 0x08, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(verified, std::optional(true));
    device().faults.wrongVerifySum = true;
    link->verifyRecord([&](bool ok) { verified = ok; });
    loop.runUntilIdle();
    EXPECT_EQ(verified, std::optional(false));
}

TEST_F(FirmwareCommandsTest, EraseWaitsItsSecondOrFailsAtOnce) {
    std::optional<bool> erased;
    link->eraseFirmware([&](bool ok) { erased = ok; });
    EXPECT_EQ(wire()[0], (Bytes{0x55, 0x03, 0xC0, 0x01, 0x55, 0xAA, 0x00, 0x10, 0x00, 0x00}));
    loop.runFor(Duration{999});
    EXPECT_FALSE(erased);
    loop.runFor(Duration{1});
    EXPECT_EQ(erased, std::optional(true));

    erased.reset();
    controller().portFaults.refusesSend = true;
    link->eraseFirmware([&](bool ok) { erased = ok; });
    EXPECT_EQ(erased, std::optional(false));
    EXPECT_EQ(log.count("Writing <55 03 C0 01 55 AA 00 10 00 00>"), 2u) << "the refused one too";
}

}  // namespace
}  // namespace korvane::testing
