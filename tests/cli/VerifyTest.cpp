// verify on virtual time: one Verify request for each program-memory record, nothing else, and
// what the sums say.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "app/cli/Outcome.h"
#include "app/cli/Verbs.h"
#include "tests/support/SessionRun.h"
#include "tests/support/SimulatedBench.h"
#include "tests/support/TemporaryFolder.h"

namespace korvane::testing {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;

Bytes verifyRequest(std::uint16_t address, std::uint8_t length) {
    return {0x55,
            0x08,
            length,
            0x00,
            0x00,
            0x00,
            static_cast<std::uint8_t>(address & 0xFF),
            static_cast<std::uint8_t>(address >> 8),
            0x00,
            0x00};
}

class VerifyTest : public SimulatedBench {
protected:
    // Runs `korvane-cli verify` with the image as its file; the exit status.
    int verify(const HexImage& image, bool fast = false) {
        path = folder.write("firmware.hex", image.file());
        action = parseVerify({path});
        run = {};  // the last run lets go of the port
        run = runSession(loop, action, out, err, fast);
        return run.status;
    }

    TemporaryFolder folder;
    std::string path;
    CommandAction action;
    SessionRun run;
    std::ostringstream out;
    std::ostringstream err;
};

TEST_F(VerifyTest, AfterTheSearchOnlyVerifyRequestsOneForEachProgramRecord) {
    // Program records 1-4 on lines 2-5 and 5 on line 13; two eprom and two skipped records.
    const HexImage image = realisticImage(4);
    const std::vector<Bytes> expected = {
        {0x55, 0x00, 0, 0, 0, 0, 0, 0, 0, 0},
        {0x55, 0x04, 0x0C, 0, 0, 0, 0x10, 0, 0xF0, 0},
        verifyRequest(0x1000, 16),
        verifyRequest(0x1010, 16),
        verifyRequest(0x1020, 16),
        verifyRequest(0x1030, 16),
        verifyRequest(0x2000, 4),
    };
    // The search takes 1.4 s; each Verify ends at its first poll, or in fast mode at its reply.
    for (const auto& [fast, took] : {std::pair{false, Duration{1450}}, {true, Duration{35}}}) {
        device().clearRequests();
        image.putInto(device());
        EXPECT_EQ(verify(image, fast), 0) << err.str();
        EXPECT_EQ(wire(), expected);
        EXPECT_EQ(run.session->took(), took) << fast;
        EXPECT_THAT(out.str(), EndsWith("Firmware matches " + path +
                                        " (5 program records; 2 EEPROM and 2 other records "
                                        "cannot be checked by the controller)\n"));
        EXPECT_EQ(err.str(), "");
        out.str("");
    }
}

TEST_F(VerifyTest, WhatTheSumsSay) {
    const auto names = [](std::size_t from, std::size_t to) {
        std::string lines;
        for (std::size_t record = from; record <= to; ++record) {
            lines += stringPrintf("Record %zu (line %zu, address 0x%04zX) differs\n", record,
                                  record + 1, 0x1000 + (record - 1) * 16);
        }
        return lines;
    };
    const struct {
        const char* what;
        std::size_t records;
        std::function<void(SimulatedController&)> change;
        int status;
        std::string err;
        std::size_t verifies;
        std::string jsonEnd;
    } cases[] = {
        {"the eprom is not checked", 4, [](auto& device) { device.eprom[0x0100] ^= 1; }, 0, "", 5,
         R"("differing":[],)"},
        {"one changed byte", 4, [](auto& device) { device.programMemory[0x1025] ^= 1; }, 1,
         names(3, 3) + "Firmware differs from FILE: the sums of 1 of 5 program records differ\n", 5,
         R"json("differing":["Record 3 (line 4, address 0x1020)"],)json"},
        {"more than 20 named, the rest counted", 22,
         [](auto& device) { device.faults.wrongVerifySum = true; }, 1,
         names(1, 20) +
             "and 3 more records differ\nFirmware differs from FILE: the sums of 23 of 23 "
             "program records differ\n",
         23, ""},
        {"no answer to Verify", 4,
         [](auto& device) { device.faults.unanswered = {CommandCode::Verify}; }, 1,
         "The controller did not answer the Verify request for record 1 (line 2, address "
         "0x1000); records 1 to 5 were not checked\n",
         1, R"("recordsChecked":0,"recordsDiffering":0,)"},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.what);
        device() = SimulatedController();
        const HexImage image = realisticImage(each.records);
        image.putInto(device());
        each.change(device());
        err.str("");
        EXPECT_EQ(verify(image), each.status);
        std::string said = err.str();
        if (const auto at = said.find(path); at != std::string::npos) {
            said.replace(at, path.size(), "FILE");
        }
        EXPECT_EQ(said, each.err);
        EXPECT_EQ(wire().size(), 2 + each.verifies);
        EXPECT_THAT(describeOutcome(*run.session, action, {each.status == 0, "reason"}).text(),
                    HasSubstr(each.jsonEnd));
    }
}

TEST_F(VerifyTest, AnInterruptionSaysHowFarItGotAndThatNothingChanged) {
    const HexImage image = realisticImage(4);
    ConsoleSession session(out, err);
    parseVerify({folder.write("firmware.hex", image.file())}).start(session);
    loop.runUntil([&] { return wire().size() == 5; });
    EXPECT_EQ(session.interruption().statement,
              "Verify interrupted after 2 of 5 program records: nothing was changed");
    EXPECT_FALSE(session.interruption().statusWhenDone);
}

TEST_F(VerifyTest, AFileThatCannotBeCheckedIsRefusedBeforeAnyPort) {
    HexImage epromOnly;
    epromOnly.upper(0x00F0);
    epromOnly.data(0x00F0, 0x0010, {1, 2});
    const std::string eprom = folder.write("eprom.hex", epromOnly.file());
    const std::string broken = folder.write("broken.hex", ":0400000001020304F3\n:00000001FF\n");
    const std::pair<std::string, std::string> cases[] = {
        {eprom, eprom + " has no program-memory records: the controller can check nothing of it"},
        {broken, "Invalid firmware file\n" + broken + ": line 1: checksum F3, should be F2"},
    };
    for (const auto& [file, reason] : cases) {
        try {
            parseVerify({file});
            ADD_FAILURE() << file;
        } catch (const InputError& error) {
            EXPECT_EQ(error.reason, reason);
        }
    }
    EXPECT_THROW(parseVerify({}), UsageError);
    EXPECT_TRUE(wire().empty());
}

}  // namespace
}  // namespace korvane::testing
