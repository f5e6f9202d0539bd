#include <gtest/gtest.h>

#include "firmware/FirmwareFile.h"
#include "protocol/HexBytes.h"
#include "protocol/ProgramFrame.h"
#include "tests/support/HexImage.h"

namespace korvane::testing {
namespace {

FirmwareFileReading read(const std::string& text) {
    return readFirmwareFile(Bytes(text.begin(), text.end()));
}

const std::string kRecord = ":0400000001020304F2";
const std::string kEnd = ":00000001FF";

TEST(HexBytesTest, PairsOfDigitsAsFarAsTheyRead) {
    EXPECT_EQ(hexToBytes("10AB"), (Bytes{0x10, 0xAB}));
    EXPECT_EQ(hexToBytes("1G"), (Bytes{0x01}));
    EXPECT_EQ(hexToBytes("G1"), (Bytes{0x00}));
    EXPECT_EQ(hexToBytes("ABC"), (Bytes{0xAB, 0x0C}));
    EXPECT_EQ(hexToBytes("ff-1 1"), (Bytes{0xFF, 0xFF, 0x01}));
    EXPECT_EQ(hexToBytes(" -"), (Bytes{0x00}));
    EXPECT_EQ(hexToBytes(""), Bytes{});
}

TEST(HexBytesTest, WordSum) {
    EXPECT_EQ(wordSum(Bytes{0x01, 0x02, 0x03}), 0x0204);
    EXPECT_EQ(wordSum(Bytes{0xFF, 0xFF, 0xFF, 0xFF}), 0xFFFE);
    EXPECT_EQ(wordSum(Bytes{}), 0);
}

TEST(FirmwareFileTest, RecordsUpToTheEndRecordAndTheVersionBeforeIt) {
    const auto reading =
        read(kRecord + "\n" + hexRecord(0, 0x10, {0x0C, 0x01}) + "\n" + kEnd + "\n");
    ASSERT_TRUE(reading.file);
    EXPECT_EQ(reading.file->lines,
              (std::deque<std::string>{kRecord, hexRecord(0, 0x10, {0x0C, 0x01})}));
    EXPECT_EQ(reading.file->softwareVersion, 12);
}

TEST(FirmwareFileTest, LineEnds) {
    const auto lf = read(kRecord + "\n" + kEnd + "\n");
    const auto crlf = read(kRecord + "\r\n" + kEnd + "\r\n");
    ASSERT_TRUE(lf.file && crlf.file);
    EXPECT_EQ(lf.file->lines, crlf.file->lines);
    EXPECT_FALSE(read(kRecord + "\r" + kEnd + "\r").file) << "CR alone ends no line";
    EXPECT_FALSE(read(kRecord + "\n" + kEnd).file) << "the end record needs its line end";
}

TEST(FirmwareFileTest, WhatComesAfterTheEndRecord) {
    EXPECT_TRUE(read(kRecord + "\n" + kEnd + "\n\n\n").file);
    EXPECT_TRUE(read(kRecord + "\n" + kEnd + "\nnotes: anything\n:garbage\n").file);
    EXPECT_TRUE(read(kRecord + "\n" + kEnd + "\n" + kRecord).file) << "a last line without end";
    EXPECT_FALSE(read(kRecord + "\n" + kEnd + "\n" + kRecord + "\n").file);
    EXPECT_FALSE(read(kRecord + "\n\n" + kEnd + "\n").file) << "a blank line ends the reading";
    EXPECT_FALSE(read(kRecord + "\n:00000001ff\n").file) << "the end record is uppercase";
    EXPECT_FALSE(read(kEnd + "\n").file) << "nothing to program";
    EXPECT_FALSE(read("").file);
    std::string withZero = kRecord + "\n" + kEnd + "\n";
    withZero[5] = '\0';
    EXPECT_FALSE(readFirmwareFile(Bytes(withZero.begin(), withZero.end())).file);
    const std::string zeroAfter = kRecord + "\n" + kEnd + "\n" + std::string(1, '\0') + "x\n";
    EXPECT_TRUE(readFirmwareFile(Bytes(zeroAfter.begin(), zeroAfter.end())).file);
}

TEST(FirmwareFileTest, EveryRecordIsCheckedBeforeAnythingIsSent) {
    const struct {
        std::string line;
        std::string reason;
    } cases[] = {
        {":0400000001020304F3", "checksum F3, should be F2"},
        {":0400000001020304F", "odd number of hexadecimal digits"},
        {":04000000010203G4F2", "'G' is not a hexadecimal digit"},
        {":0500000001020304F2", "byte count 5, but 4 data bytes"},
        {hexRecord(0x05, 0, {0, 0, 0, 0}), "record type 05 is not supported"},
        {hexRecord(0x00, 0, Bytes(250, 1)), "250 data bytes, more than one request carries (245)"},
        {hexRecord(0x04, 0, {0}), "an upper address record carries 2 bytes"},
        {kEnd, "end record before the end of the file"},
        {":\r", "too short for a record"},
    };
    for (const auto& each : cases) {
        const auto reading = read(kRecord + "\n" + each.line + "\n" + kRecord + "\n" + kEnd + "\n");
        EXPECT_FALSE(reading.file) << each.line;
        EXPECT_EQ(reading.problem.line, 2u) << each.line;
        EXPECT_EQ(reading.problem.reason, each.reason) << each.line;
    }
    std::string tooLong = hexRecord(0x00, 0, Bytes(255, 2));
    tooLong.insert(9, std::string(90, '0'));
    EXPECT_FALSE(read(tooLong + "\n" + kEnd + "\n").file) << "300 data bytes";
}

}  // namespace
}  // namespace korvane::testing
