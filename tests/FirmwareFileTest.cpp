#include <gtest/gtest.h>

#include "firmware/FirmwareFile.h"
#include "firmware/ProgramSums.h"
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

TEST(FirmwareFileTest, WhatIsReadUpToTheEndRecordAndWhyAFileIsRefused) {
    const auto lf = read(kRecord + "\n" + kEnd + "\n");
    const auto crlf = read(kRecord + "\r\n" + kEnd + "\r\n");
    ASSERT_TRUE(lf.file && crlf.file);
    EXPECT_EQ(lf.file->lines, crlf.file->lines);
    const std::string zero(1, '\0');
    const struct {
        std::string text;
        // Accepted when there is no reason; line 0 is the whole file.
        std::size_t line = 0;
        const char* reason = nullptr;
    } cases[] = {
        // After the end record's line: notes, garbage, a last line without its end.
        {kRecord + "\n" + kEnd + "\n\n\n"},
        {kRecord + "\n" + kEnd + "\nnotes: anything\n:garbage\n"},
        {kRecord + "\n" + kEnd + "\n" + kRecord},
        {kRecord + "\n" + kEnd + "\n" + zero + "x\n"},
        {kRecord + "\n" + kEnd + "\n" + kRecord + "\n", 3,
         "the records do not end with the end record :00000001FF"},
        {kRecord + "\r" + kEnd + "\r", 1, "the last line has no line end, so it is not read"},
        {kEnd + "\n", 0, "no record before the end record"},
        {"", 0, "the file is empty"},
        {kRecord + "\n:00000001ff\n", 2,
         "the end record must be written in uppercase: :00000001FF"},
        {kRecord + "\n" + kEnd + " \n", 2, "blanks after the end record"},
        {kRecord + "\n" + kEnd + "00\n", 2, "characters after the end record :00000001FF"},
        {kRecord + "\n" + kEnd, 2, "the last line has no line end, so it is not read"},
        {"\xEF\xBB\xBF" + kRecord + "\n" + kEnd + "\n", 1, "a byte-order mark before the record"},
        {kRecord + "\n  " + kEnd + "\n", 2, "blanks before the record"},
        {kRecord + "\n\n" + kEnd + "\n", 2, "a blank line before the end record :00000001FF"},
        {kRecord + "\n\r\n" + kEnd + "\n", 2, "a blank line before the end record :00000001FF"},
        {kRecord + "\n# note\n" + kEnd + "\n", 2,
         "not a record (it does not begin with ':'), before the end record"},
        {kRecord + "\n" + kRecord + "\n", 2,
         "the records do not end with the end record :00000001FF"},
        {kRecord + "\n:00" + zero + "000001FF\n", 2,
         "a zero byte ends the text before the end record :00000001FF"},
    };
    for (const auto& each : cases) {
        const auto reading = read(each.text);
        EXPECT_EQ(reading.file.has_value(), each.reason == nullptr) << each.text;
        EXPECT_EQ(reading.problem.line, each.line) << each.text;
        EXPECT_EQ(reading.problem.reason, each.reason ? each.reason : "") << each.text;
    }
    EXPECT_EQ(describeProblem({3, "checksum F3, should be F2"}),
              "line 3: checksum F3, should be F2");
    EXPECT_EQ(describeProblem({0, "the file is empty"}), "the file is empty");
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
        {hexRecord(0x00, 0, Bytes(246, 1)), "246 data bytes, more than one request carries (245)"},
        {hexRecord(0x04, 0, {0}), "an upper address record carries 2 bytes"},
        {kEnd, "end record before the end of the file"},
        {":\r", "too short for a record"},
        {kRecord + " ", "blanks after the record"},
        {hexRecord(0x00, 0xFFF8, Bytes(9, 1)),
         "9 data bytes at FFF8 run past the end of the 64 KiB segment"},
    };
    for (const auto& each : cases) {
        const auto reading = read(kRecord + "\n" + each.line + "\n" + kRecord + "\n" + kEnd + "\n");
        EXPECT_FALSE(reading.file) << each.line;
        EXPECT_EQ(reading.problem.line, 2u) << each.line;
        EXPECT_EQ(reading.problem.reason, each.reason) << each.line;
    }
    EXPECT_TRUE(read(hexRecord(0x00, 0xFFF8, Bytes(8, 1)) + "\n" + kEnd + "\n").file)
        << "up to the last byte of the segment";
    EXPECT_TRUE(read(hexRecord(0x00, 0, Bytes(245, 1)) + "\n" + kEnd + "\n").file);
    std::string tooLong = hexRecord(0x00, 0, Bytes(255, 2));
    tooLong.insert(9, std::string(90, '0'));
    EXPECT_FALSE(read(tooLong + "\n" + kEnd + "\n").file) << "300 data bytes";
}

TEST(FirmwareFileTest, RecordsForMemoryTheControllerLacksAreCountedWithTheirOrigins) {
    const struct {
        std::vector<std::uint16_t> uppers;
        const char* described;
    } cases[] = {
        {{0x0000, 0x00F0}, ""},
        {{0x0030}, "Records not written: 2 (upper address 0x0030)"},
        {{0x0005, 0x0000, 0x0030, 0x0005},
         "Records not written: 6 (upper addresses 0x0005, 0x0030)"},
        {{0x0100}, "Records not written: 2 (upper address 0x0100)"},
    };
    for (const auto& each : cases) {
        HexImage image;
        for (const std::uint16_t upper : each.uppers) {
            image.upper(upper);
            image.add(hexRecord(0x00, 0x0100, {1, 2}));
            image.add(hexRecord(0x00, 0x0102, {3, 4}));
        }
        const auto reading = readFirmwareFile(image.bytes());
        ASSERT_TRUE(reading.file) << each.described;
        EXPECT_EQ(describeSkippedRecords(*reading.file), each.described);
        EXPECT_EQ(reading.file->lines.size(), reading.file->origins.size());
    }
    const auto reading = readFirmwareFile(realisticImage().bytes());
    ASSERT_TRUE(reading.file);
    const auto& origins = reading.file->origins;
    const std::pair<std::size_t, std::uint32_t> expected[] = {
        {1, 0x00000000}, {2, 0x00001000}, {3, 0x00001010}, {27, 0x00300000}, {31, 0x00F00108}};
    for (const auto& [line, address] : expected) {
        EXPECT_EQ(origins[line - 1].line, line);
        EXPECT_EQ(origins[line - 1].address, address) << line;
    }
}

TEST(FirmwareFileTest, ProgramSumsAreWhatTheWholeFileLeavesAtEachRecord) {
    HexImage image;
    image.data(0, 0x1000, {0x01, 0x02, 0x03});
    image.upper(0x00F0);
    image.data(0x00F0, 0x1000, {0x09});
    image.upper(0x0030);
    image.add(hexRecord(0, 0x1000, {0x09}));
    image.upper(0);
    // Overwrites the first record's last byte; an empty record sums to nothing.
    image.data(0, 0x1002, {0x10, 0x20});
    image.data(0, 0xFFFF, {});
    const auto reading = readFirmwareFile(image.bytes());
    ASSERT_TRUE(reading.file);
    EXPECT_EQ(programSums(*reading.file),
              (std::vector<ProgramSum>{
                  {1, 1, 0x1000, 3, 0x0211}, {2, 7, 0x1002, 2, 0x2010}, {3, 8, 0xFFFF, 0, 0}}));
}

}  // namespace
}  // namespace korvane::testing
