// The firmware file as read and judged before anything is sent, and beside it a regular file.
#include <gtest/gtest.h>

#include "firmware/FirmwareFile.h"
#include "firmware/ProgramSums.h"
#include "tests/support/HexImage.h"
#include "util/RegularFile.h"

namespace korvane::testing {
namespace {

FirmwareFileReading read(const std::string& text) {
    return readFirmwareFile(Bytes(text.begin(), text.end()));
}

const std::string kRecord = ":0400000001020304F2";
const std::string kEnd = ":00000001FF";

TEST(FirmwareFileTest, WhatIsReadUpToTheEndRecordAndWhyAFileIsRefused) {
    const auto lf = read(kRecord + "\n" + hexRecord(0, 0x10, {0x0C, 0x01}) + "\n" + kEnd + "\n");
    ASSERT_TRUE(lf.file);
    EXPECT_EQ(lf.file->lines, (std::deque<std::string>{kRecord, hexRecord(0, 0x10, {0x0C, 0x01})}));
    EXPECT_EQ(lf.file->softwareVersion, 12) << "the first data byte of the last record";
    EXPECT_EQ(read(kRecord + "\r\n" + kEnd + "\r\n").file->lines, std::deque{kRecord}) << "CRLF";
    const std::string zero(1, '\0');
    // clang-format off
    // A file and the line and reason it is refused for; accepted without a reason (line 0: the whole file).
    const struct { std::string text; std::size_t line = 0; const char* reason = nullptr; } rows[] = {
        {kRecord + "\n" + kEnd + "\n\n\n"},  // after the end record's line: notes, garbage, a last line without its end
        {kRecord + "\n" + kEnd + "\nnotes: anything\n:garbage\n"},
        {kRecord + "\n" + kEnd + "\n" + kRecord},
        {kRecord + "\n" + kEnd + "\n" + zero + "x\n"},
        {kRecord + "\n" + kEnd + "\n" + kRecord + "\n", 3, "the records do not end with the end record :00000001FF"},
        {kRecord + "\r" + kEnd + "\r", 1, "the last line has no line end, so it is not read"},
        {kEnd + "\n", 0, "no record before the end record"},
        {"", 0, "the file is empty"},
        {kRecord + "\n:00000001ff\n", 2, "the end record must be written in uppercase: :00000001FF"},
        {kRecord + "\n" + kEnd + " \n", 2, "blanks after the end record"},
        {kRecord + "\n" + kEnd + "00\n", 2, "characters after the end record :00000001FF"},
        {kRecord + "\n" + kEnd, 2, "the last line has no line end, so it is not read"},
        {"\xEF\xBB\xBF" + kRecord + "\n" + kEnd + "\n", 1, "a byte-order mark before the record"},
        {kRecord + "\n  " + kEnd + "\n", 2, "blanks before the record"},
        {kRecord + "\n\n" + kEnd + "\n", 2, "a blank line before the end record :00000001FF"},
        {kRecord + "\n\r\n" + kEnd + "\n", 2, "a blank line before the end record :00000001FF"},
        {kRecord + "\n# note\n" + kEnd + "\n", 2, "not a record (it does not begin with ':'), before the end record"},
        {kRecord + "\n" + kRecord + "\n", 2, "the records do not end with the end record :00000001FF"},
        {kRecord + "\n:00" + zero + "000001FF\n", 2, "a zero byte ends the text before the end record :00000001FF"},
    };
    // clang-format on
    for (const auto& row : rows) {
        const auto reading = read(row.text);
        EXPECT_EQ(reading.file.has_value(), row.reason == nullptr) << row.text;
        EXPECT_EQ(reading.problem.line, row.line) << row.text;
        EXPECT_EQ(reading.problem.reason, row.reason ? row.reason : "") << row.text;
    }
    EXPECT_EQ(describeProblem({0, "the file is empty"}), "the file is empty");
}

TEST(FirmwareFileTest, EveryRecordIsCheckedBeforeAnythingIsSent) {
    std::string tooLong = hexRecord(0x00, 0, Bytes(255, 2));
    tooLong.insert(9, std::string(90, '0'));
    // clang-format off
    const std::pair<std::string, std::string> rows[] = {
        {":0400000001020304F3", "checksum F3, should be F2"},
        {":0400000001020304F", "odd number of hexadecimal digits"},
        {":04000000010203G4F2", "'G' is not a hexadecimal digit"},
        {":0500000001020304F2", "byte count 5, but 4 data bytes"},
        {hexRecord(0x05, 0, {0, 0, 0, 0}), "record type 05 is not supported"},
        {hexRecord(0x00, 0, Bytes(246, 1)), "246 data bytes, more than one request carries (245)"},
        {tooLong, "byte count 255, but 300 data bytes"},
        {hexRecord(0x04, 0, {0}), "an upper address record carries 2 bytes"},
        {kEnd, "end record before the end of the file"},
        {":\r", "too short for a record"},
        {kRecord + " ", "blanks after the record"},
        {hexRecord(0x00, 0xFFF8, Bytes(9, 1)), "9 data bytes at FFF8 run past the end of the 64 KiB segment"},
        {hexRecord(0x00, 0xFFF8, Bytes(8, 1)), ""},  // up to the segment's last byte
        {hexRecord(0x00, 0, Bytes(245, 1)), ""},
    };
    // clang-format on
    for (const auto& [line, reason] : rows) {
        const auto reading = read(kRecord + "\n" + line + "\n" + kRecord + "\n" + kEnd + "\n");
        EXPECT_EQ(reading.file.has_value(), reason.empty()) << line;
        EXPECT_EQ(reading.problem.line, reason.empty() ? 0u : 2u) << line;
        EXPECT_EQ(reading.problem.reason, reason) << line;
    }
}

TEST(FirmwareFileTest, RecordsForMemoryTheControllerLacksAreCountedByRegion) {
    // clang-format off
    const std::pair<std::vector<std::uint16_t>, const char*> rows[] = {
        {{0x0000, 0x00F0}, ""},
        {{0x0030}, "Records not written: 2 (upper address 0x0030)"},
        {{0x0005, 0x0000, 0x0030, 0x0005}, "Records not written: 6 (upper addresses 0x0005, 0x0030)"},
        {{0x0100}, "Records not written: 2 (upper address 0x0100)"},
    };
    // clang-format on
    for (const auto& [uppers, described] : rows) {
        HexImage image;
        for (const std::uint16_t upper : uppers) {
            image.upper(upper);
            image.add(0, 0x0100, {1, 2});
            image.add(0, 0x0102, {3, 4});
        }
        const auto reading = readFirmwareFile(image.bytes());
        ASSERT_TRUE(reading.file) << described;
        EXPECT_EQ(describeSkippedRecords(*reading.file), described);
    }
}

TEST(FirmwareFileTest, ProgramSumsAreWhatTheWholeFileLeavesAtEachRecord) {
    HexImage image;
    image.add(0, 0x1000, {0x01, 0x02, 0x03});
    image.upper(0x00F0);
    image.add(0, 0x1000, {0x09});
    image.upper(0x0030);
    image.add(0, 0x1000, {0x09});
    image.upper(0);
    // Overwrites the first record's last byte; an empty record sums to nothing.
    image.add(0, 0x1002, {0x10, 0x20});
    image.add(0, 0xFFFF, {});
    const auto reading = readFirmwareFile(image.bytes());
    ASSERT_TRUE(reading.file);
    EXPECT_EQ(programSums(*reading.file),
              (std::vector<ProgramSum>{
                  {1, 1, 0x1000, 3, 0x0211}, {2, 7, 0x1002, 2, 0x2010}, {3, 8, 0xFFFF, 0, 0}}));
}

#ifdef __linux__
// The system's own files say they hold nothing until read: one too large is known by what is
// read, not by its size.
TEST(RegularFileTest, AFileLargerThanItsSizeSaidIsRefusedAtTheFirstByteTooMany) {
    const FileContent content = readRegularFile("/proc/self/status", 16, "status file");
    EXPECT_EQ(content.problem, "is larger than any status file (at most 16 bytes)");
    EXPECT_TRUE(content.bytes.empty());
}
#endif

}  // namespace
}  // namespace korvane::testing
