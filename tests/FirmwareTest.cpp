// The firmware file as read and judged before anything is sent, and its records as the link sends
// them; beside them the pure pieces the front ends share (the update answer, a regular file).
#include <gtest/gtest.h>

#include "app/UpdateAnswer.h"
#include "firmware/FirmwareFile.h"
#include "firmware/ProgramSums.h"
#include "protocol/HexBytes.h"
#include "protocol/ProgramFrame.h"
#include "tests/support/HexImage.h"
#include "tests/support/SimulatedBench.h"
#include "util/RegularFile.h"

namespace korvane::testing {
namespace {

FirmwareFileReading read(const std::string& text) {
    return readFirmwareFile(Bytes(text.begin(), text.end()));
}

const std::string kRecord = ":0400000001020304F2";
const std::string kEnd = ":00000001FF";

TEST(HexBytesTest, PairsOfDigitsAsFarAsTheyReadAndWordSums) {
    // clang-format off
    const std::pair<const char*, Bytes> pairs[] = {{"10AB", {0x10, 0xAB}}, {"1G", {0x01}}, {"G1", {0x00}}, {"ABC", {0xAB, 0x0C}}, {"ff-1 1", {0xFF, 0xFF, 0x01}}, {" -", {0x00}}, {"", {}}};
    // clang-format on
    for (const auto& [digits, bytes] : pairs) {
        EXPECT_EQ(hexToBytes(digits), bytes) << digits;
    }
    EXPECT_EQ(wordSum(Bytes{0x01, 0x02, 0x03}), 0x0204);
    EXPECT_EQ(wordSum(Bytes{0xFF, 0xFF, 0xFF, 0xFF}), 0xFFFE);
    EXPECT_EQ(wordSum(Bytes{}), 0);
}

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
    EXPECT_EQ(describeProblem({3, "checksum F3, should be F2"}),
              "line 3: checksum F3, should be F2");
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

TEST(FirmwareFileTest, RecordsForMemoryTheControllerLacksAreCountedWithTheirOrigins) {
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
    const HexImage image = realisticImage();
    const auto reading = readFirmwareFile(image.bytes());
    ASSERT_TRUE(reading.file);
    ASSERT_EQ(reading.file->origins.size(), image.records);
    for (std::size_t line = 1; line <= image.records; ++line) {
        EXPECT_EQ(reading.file->origins[line - 1].line, line);
        EXPECT_EQ(reading.file->origins[line - 1].address, image.origins[line - 1]) << line;
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

class FirmwareCommandsTest : public SimulatedBench {
protected:
    void SetUp() override { link->resetFirmwareState(); }

    // Writes the line; the result, with whether it came within the call.
    std::pair<std::optional<bool>, bool> write(const std::string& line) {
        std::optional<bool> result;
        link->writeRecord(line, [&](bool success) { result = success; });
        const bool atOnce = result.has_value();
        loop.runUntil([&] { return result.has_value(); });
        return {result, atOnce};
    }

    std::unique_ptr<SimpleSerial> link = openLink();
};

TEST_F(FirmwareCommandsTest, EachRegionsRecordsGoOnTheWireAsItWants) {
    const Bytes sixteen = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7,
                           0xA8, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF};
    // clang-format off
    // A record after an upper-address record, its requests, and how long it took (each wait ends at the first poll after its reply).
    const struct { std::uint16_t upper; std::string line; std::vector<Bytes> wire; int tookMs; } rows[] = {
        // Program memory: the write, then a Verify of the record's word sum.
        {0x0000, hexRecord(0x00, 0x0100, sixteen), {Bytes{0x55, 0x02, 0x10, 0x00, 0x55, 0xAA, 0x00, 0x01, 0x00, 0x00} + sixteen, {0x55, 0x08, 0x10, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00}}, 20},
        {0x0000, hexRecord(0x00, 0x1000, {}), {{0x55, 0x02, 0x00, 0x00, 0x55, 0xAA, 0x00, 0x10, 0x00, 0x00}, {0x55, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00}}, 20},
        // The eprom: no Verify.
        {0x00F0, hexRecord(0x00, 0x0020, {1, 2, 3}), {{0x55, 0x05, 0x03, 0x00, 0x55, 0xAA, 0x20, 0x00, 0xF0, 0x00, 1, 2, 3}}, 10},
        // Memory the controller lacks: skipped, within the call.
        {0x0030, hexRecord(0x00, 0x0040, {7}), {}, 0},
    };
    // clang-format on
    for (const auto& row : rows) {
        device().clearRequests();
        EXPECT_EQ(write(upperAddressRecord(row.upper)), std::pair(std::optional(true), true));
        const Duration start = loop.now();
        EXPECT_EQ(write(row.line).first, std::optional(true)) << row.line;
        EXPECT_EQ(wire(), row.wire) << row.line;
        EXPECT_EQ(loop.now() - start, Duration{row.tookMs}) << row.line;
    }
    EXPECT_EQ(device().programMemory[0x0100], 0xA0);
    EXPECT_EQ(device().eprom[0x0022], 3);
    // The last Verify of an update still finds the last record's address.
    EXPECT_EQ(complete([&](ResultBlock done) { link->verifyRecord(done); }), std::optional(true));
    EXPECT_EQ(wire().back(), (Bytes{0x55, 0x08, 0x00, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00}));
    // Records that cannot be programmed fail at once, sending nothing.
    device().clearRequests();
    for (const std::string& line :
         std::vector<std::string>{":00000001FF", ":0400", ":", "", ":01000004AA", ":FF00000001",
                                  hexRecord(0x00, 0x1000, Bytes(246, 7))}) {
        EXPECT_EQ(write(line), std::pair(std::optional(false), true)) << line;
    }
    EXPECT_EQ(log.count("Could not update firmware. 3"), 1u);
    EXPECT_TRUE(wire().empty());
    // The largest record fits one request.
    write(upperAddressRecord(0x0000));
    EXPECT_EQ(write(hexRecord(0x00, 0x1000, Bytes(245, 7))).first, std::optional(true));
    EXPECT_EQ(wire()[0].size(), 255u);
}

TEST_F(FirmwareCommandsTest, RepliesAreJudgedExactly) {
    // A write is acknowledged by 11 bytes whose last is 1; a Verify answered by at least 12, the
    // word sum of the data in bytes 10-11. Data 01 02 sums to 0x0201.
    const Bytes ack = {0x55, 0x02, 0x02, 0x00, 0x55, 0xAA, 0x00, 0x10, 0x00, 0x00};
    const Bytes verified = {0x55, 0x08, 0x02, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00};
    // clang-format off
    const struct { Bytes acknowledgement; Bytes verifyReply; bool written; } rows[] = {
        {ack + Bytes{1}, verified + Bytes{0x01, 0x02}, true},  {ack + Bytes{1}, verified + Bytes{0x01, 0x02, 0x00}, true},
        {ack + Bytes{1}, verified + Bytes{0x01}, false},       {ack + Bytes{1}, verified + Bytes{0x02, 0x01}, false},
        {ack + Bytes{2}, {}, false}, {ack + Bytes{0}, {}, false}, {ack + Bytes{1, 1}, {}, false}, {ack, {}, false},
    };
    // clang-format on
    device().faults.unanswered = {CommandCode::WriteProgram, CommandCode::Verify};
    for (const auto& row : rows) {
        device().clearRequests();
        const std::size_t logged = log.countStartingWith("Could not update firmware");
        // The write's wait polls at 10 ms; the Verify follows at once and polls at 20 ms.
        loop.schedule(Duration{3}, [&] { controller().transmit(row.acknowledgement); });
        loop.schedule(Duration{13}, [&] { controller().transmit(row.verifyReply); });
        EXPECT_EQ(write(hexRecord(0x00, 0x1000, {1, 2})).first, std::optional(row.written))
            << describeBytes(row.acknowledgement) << describeBytes(row.verifyReply);
        EXPECT_EQ(wire().size(), row.verifyReply.empty() ? 1u : 2u);
        // A refused acknowledgement is logged; a refused Verify is not.
        EXPECT_EQ(log.countStartingWith("Could not update firmware") - logged,
                  row.verifyReply.empty() ? 1u : 0u);
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

TEST_F(FirmwareCommandsTest, EraseWaitsItsSecondAndAVerifyAfterAResetAsksForNothing) {
    std::optional<bool> done;
    link->verifyRecord([&](bool ok) { done = ok; });
    loop.runUntilIdle();
    EXPECT_EQ(wire().back(), (Bytes{0x55, 0x08, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(done, std::optional(true));
    device().faults.wrongVerifySum = true;
    link->verifyRecord([&](bool ok) { done = ok; });
    loop.runUntilIdle();
    EXPECT_EQ(done, std::optional(false));
    // The erase's reply, whatever it is, is awaited for its whole second.
    done.reset();
    link->eraseFirmware([&](bool ok) { done = ok; });
    EXPECT_EQ(wire().back(), (Bytes{0x55, 0x03, 0xC0, 0x01, 0x55, 0xAA, 0x00, 0x10, 0x00, 0x00}));
    loop.runFor(Duration{999});
    EXPECT_FALSE(done);
    loop.runFor(Duration{1});
    EXPECT_EQ(done, std::optional(true));
    // One the port does not take fails at once, logged as tried.
    controller().portFaults.refusesSend = true;
    link->eraseFirmware([&](bool ok) { done = ok; });
    EXPECT_EQ(done, std::optional(false));
    EXPECT_EQ(log.count("Writing <55 03 C0 01 55 AA 00 10 00 00>"), 2u);
}

TEST(UpdateAnswerTest, OnlyTheWordsForUpdateSayYes) {
    // clang-format off
    const std::pair<const char*, bool> rows[] = {
        {"update", true}, {"Update", true}, {" u ", true}, {"YES", true}, {"y\r", true}, {"y\t", true}, {"", false},
        {"no", false}, {"cancel", false}, {"updates", false}, {"yy", false}, {"u p", false}, {"n\r", false},
    };
    // clang-format on
    for (const auto& [typed, yes] : rows) {
        EXPECT_EQ(answersUpdate(typed), yes) << '"' << typed << '"';
    }
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
