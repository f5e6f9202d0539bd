#include <gtest/gtest.h>

#include "sim/SimulatedController.h"

namespace korvane {
namespace {

Bytes writeProgram(std::uint16_t address, const Bytes& data) {
    Bytes frame = {0x55,
                   0x02,
                   static_cast<std::uint8_t>(data.size()),
                   0x00,
                   0x55,
                   0xAA,
                   static_cast<std::uint8_t>(address & 0xFF),
                   static_cast<std::uint8_t>(address >> 8),
                   0x00,
                   0x00};
    frame.insert(frame.end(), data.begin(), data.end());
    return frame;
}

TEST(SimulatedControllerTest, FramesAreFoundInAStreamOfPiecesAndNoise) {
    SimulatedController device;
    const Bytes identify = {0x55, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    Bytes stream = {0x00, 0x13};
    stream.insert(stream.end(), identify.begin(), identify.end());
    EXPECT_TRUE(device.receive(ByteView(stream).first(7)).replies.empty());
    const auto response = device.receive(ByteView(stream).subspan(7));
    ASSERT_EQ(response.replies.size(), 1u);
    EXPECT_EQ(response.replies[0].size(), 26u);
    EXPECT_EQ(response.replies[0][10], 0x01);
    EXPECT_EQ(response.replies[0][17], 0xEF);
    EXPECT_EQ(device.requests(), std::vector<Bytes>{identify});
}

TEST(SimulatedControllerTest, ProgramsVerifiesAndErases) {
    SimulatedController device;
    const auto written = device.receive(writeProgram(0x1000, {0x01, 0x02, 0x03}));
    ASSERT_EQ(written.replies.size(), 1u);
    EXPECT_EQ(written.replies[0].size(), 11u);
    EXPECT_EQ(written.replies[0][10], 1);
    // Word sum of 01 02 03: 0x0201 + 0x0003.
    const Bytes verify = {0x55, 0x08, 0x03, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00};
    const auto verified = device.receive(verify);
    ASSERT_EQ(verified.replies.size(), 1u);
    EXPECT_EQ(verified.replies[0][10], 0x04);
    EXPECT_EQ(verified.replies[0][11], 0x02);

    device.receive(Bytes{0x55, 0x03, 0xC0, 0x01, 0x55, 0xAA, 0x00, 0x10, 0x00, 0x00});
    EXPECT_EQ(device.programMemory[0x1000], 0xFF);

    device.faults.refuseWrites = true;
    EXPECT_EQ(device.receive(writeProgram(0x1000, {0x07})).replies[0][10], 0);
    EXPECT_EQ(device.programMemory[0x1000], 0xFF);
}

TEST(SimulatedControllerTest, ResetAndUnplugAreReportedNotAnswered) {
    SimulatedController device;
    const auto reset = device.receive(Bytes{0x55, 0x09, 0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_TRUE(reset.restarting);
    EXPECT_TRUE(reset.replies.empty());
    device.faults.unplugAtRequest = 2;
    const auto unplugged = device.receive(Bytes{0x55, 0x00, 0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_TRUE(unplugged.unplugged);
    EXPECT_TRUE(unplugged.replies.empty());
}

}  // namespace
}  // namespace korvane
