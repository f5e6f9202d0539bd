// korvane-cli's command lines as main runs them, in the test's process on virtual time.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>

#include "app/frontend/SettingsFile.h"
#include "tests/support/CommandLineRun.h"
#include "tests/support/HexImage.h"
#include "tests/support/SimulatedBench.h"
#include "tests/support/TemporaryFolder.h"
#include "util/StringPrintf.h"

namespace korvane::testing {
namespace {

using ::testing::EndsWith;

class CommandLineTest : public SimulatedBench {
protected:
    CommandLineRun cli(const std::vector<std::string>& words, bool answer = true) {
        return runCommandLine(loop, words, answer);
    }

    std::string file(const std::string& name, const std::string& content) {
        return folder.write(name, content);
    }

    // The command codes the controller received, in order.
    std::vector<int> received() {
        std::vector<int> codes;
        for (const Bytes& request : wire()) {
            codes.push_back(request.at(1));
        }
        return codes;
    }

    TemporaryFolder folder;
};

TEST_F(CommandLineTest, FastTransfersMakeOneControllersCommandFast) {
    const std::string firmware = file("fw.hex", realisticImage(24).file());
    const struct {
        std::vector<std::string> words;
        Duration standard;
        Duration fast;
    } cases[] = {
        // The search: the open check's second, then identify and the settings read.
        {{"info"}, Duration{1400}, Duration{10}},
        {{"set", "config", "2"}, Duration{1800}, Duration{22}},
        // Also the erase's second and the reboot notice's, which fast transfers keep.
        {{"flash", firmware, "--yes"}, Duration{5330}, Duration{2285}},
    };
    const Bytes before(device().settingsRecord().begin(), device().settingsRecord().end());
    for (const auto& each : cases) {
        for (const bool fast : {false, true}) {
            device().setSettingsRecord(before);
            std::vector<std::string> words = each.words;
            if (fast) {
                words.insert(words.begin(), "--fast");
            }
            const CommandLineRun run = cli(words);
            EXPECT_EQ(run.status, 0) << run.err;
            EXPECT_EQ(run.took, fast ? each.fast : each.standard) << words[0] << " " << words[1];
        }
    }
}

TEST_F(CommandLineTest, AnUpdateAnsweredNoSendsNothingAndSaysSo) {
    const std::string firmware = file("fw.hex", realisticImage(4).file());
    const std::string preamble =
        " will be erased and programmed with " + firmware + " (software 12).\n";
    const std::string one = "The controller on /dev/ttySIM0 (software 07)" + preamble;
    const std::string all = "1 controller (/dev/ttySIM0)" + preamble;
    const std::string cancelled = "Firmware update cancelled\n";
    const std::string question = "Update firmware from file Software version: 12?";
    const struct {
        std::vector<std::string> words;
        std::string out;
        std::string err;
        std::string asked;
    } cases[] = {
        {{"flash", firmware},
         "Records not written: 2 (upper address 0x0030)\n" + one,
         cancelled,
         question},
        {{"--json", "flash", firmware},
         R"({"bootloader":"012A","deviceId":"BEEF","fileSoftware":12,"port":"/dev/ttySIM0",)"
         R"("reason":"Firmware update cancelled","records":7,"recordsSkipped":2,)"
         R"("recordsWritten":0,"result":"failed","seconds":1.9,"software":7})"
         "\n",
         one + cancelled,
         question},
        {{"--all", "flash", firmware},
         "1 controller answered: /dev/ttySIM0\n" + all,
         cancelled,
         question + " (1 controller)"},
        {{"--all", "--json", "flash", firmware},
         R"({"answered":["/dev/ttySIM0"],"reason":"Firmware update cancelled","result":"failed",)"
         R"("unanswered":[]})"
         "\n",
         all + cancelled,
         question + " (1 controller)"},
    };
    for (const auto& each : cases) {
        device().clearRequests();
        const CommandLineRun run = cli(each.words, false);
        EXPECT_EQ(run.status, 1) << each.words[0];
        EXPECT_EQ(run.out, each.out);
        EXPECT_EQ(run.err, each.err);
        EXPECT_EQ(run.asked, std::vector<std::string>{each.asked});
        EXPECT_EQ(received(), (std::vector<int>{0x00, 0x04})) << "identify and read only";
    }
}

TEST_F(CommandLineTest, NoSerialPortAtAll) {
    const std::string firmware = file("fw.hex", realisticImage(4).file());
    SimulatedPortManager none;
    const ORSSerialPortManager::Scope noPorts(none);
    const std::string reason = "Please connect the USB device";
    const struct {
        std::vector<std::string> words;
        std::string out;
    } cases[] = {
        {{"info"}, ""},
        {{"info", "--json"},
         R"({"reason":"Please connect the USB device","result":"failed","seconds":0,)"
         R"("unanswered":[]})"},
        {{"flash", firmware, "--yes"}, "Records not written: 2 (upper address 0x0030)"},
        // The file's records, none written.
        {{"--json", "flash", firmware, "--yes"},
         R"({"fileSoftware":12,"reason":"Please connect the USB device","records":7,)"
         R"("recordsSkipped":2,"recordsWritten":0,"result":"failed","seconds":0,)"
         R"("unanswered":[]})"},
        {{"--all", "--json", "flash", firmware, "--yes"},
         R"({"answered":[],"reason":"Please connect the USB device","result":"failed",)"
         R"("unanswered":[]})"},
        {{"--all", "reset"}, ""},
    };
    for (const auto& each : cases) {
        const CommandLineRun run = cli(each.words);
        EXPECT_EQ(run.status, 1) << each.out;
        EXPECT_EQ(run.out, each.out.empty() ? "" : each.out + "\n");
        EXPECT_EQ(run.err, reason + "\n");
        EXPECT_EQ(run.took, Duration{0}) << "no port to wait for";
    }
}

TEST_F(CommandLineTest, SetTakesEachBoundAndRefusesOnePast) {
    // Record fields: 1 configMode, 4 speed limit in mph, 5 auto; -1 is refused.
    const struct {
        std::vector<std::string> words;
        std::size_t field;
        int from;
        int to;
    } cases[] = {
        {{"set", "auto", "on"}, 5, 0, 1},
        {{"set", "auto", "off"}, 5, 1, 0},
        {{"set", "config", "1"}, 1, 2, 1},
        {{"set", "config", "3"}, 1, 2, 4},
        {{"set", "speed", "1"}, 4, 19, 1},
        {{"set", "speed", "30"}, 4, 19, 30},
        {{"set", "speed", "1", "--kmh"}, 4, 19, 1},
        {{"set", "speed", "50", "--kmh"}, 4, 19, 30},
        {{"set", "config", "0"}, 1, 2, -1},
        {{"set", "config", "4"}, 1, 2, -1},
        {{"set", "speed", "0"}, 4, 19, -1},
        {{"set", "speed", "31"}, 4, 19, -1},
        {{"set", "speed", "0", "--kmh"}, 4, 19, -1},
        {{"set", "speed", "51", "--kmh"}, 4, 19, -1},
    };
    for (const auto& each : cases) {
        std::uint8_t record[] = {7, 1, 3, 9, 19, 0};
        record[each.field] = static_cast<std::uint8_t>(each.from);
        device().setSettingsRecord(record);
        device().clearRequests();
        const CommandLineRun run = cli(each.words);
        EXPECT_EQ(run.status, each.to < 0 ? 2 : 0) << run.err;
        EXPECT_EQ(device().settingsRecord()[each.field], each.to < 0 ? each.from : each.to)
            << each.words[1] << " " << each.words[2];
        EXPECT_EQ(wire().empty(), each.to < 0) << "a refused value is refused before the search";
    }
}

TEST_F(CommandLineTest, SettingsLoadTakesEachBoundAndRefusesOnePast) {
    // What the file holds, with or without --force, and what the controller holds then (auto,
    // configMode, mph); none when refused with status 2.
    const struct {
        bool autoMode;
        int config;
        int mph;
        bool force;
        std::optional<std::array<int, 3>> held;
    } cases[] = {
        {true, 3, 30, false, std::array{1, 4, 30}},
        {false, 1, 1, false, std::array{0, 1, 1}},
        // Any speed a controller may hold, with --force.
        {true, 3, 255, true, std::array{1, 4, 255}},
        {false, 1, 0, true, std::array{0, 1, 0}},
        {true, 3, 31, false, std::nullopt},
        {true, 3, 0, false, std::nullopt},
        {true, 3, 256, true, std::nullopt},
        {true, 3, -1, true, std::nullopt},
        {true, 4, 19, true, std::nullopt},
        {true, 0, 19, true, std::nullopt},
    };
    for (const auto& each : cases) {
        // Holding none of the file's values.
        const std::uint8_t record[] = {7, 2,  3,
                                       9, 19, each.autoMode ? std::uint8_t{0} : std::uint8_t{1}};
        device().setSettingsRecord(record);
        const std::string path =
            file("bike.json",
                 stringPrintf(R"({"deviceId": "BEEF", "bootloader": "012A", "software": 7, )"
                              R"("auto": %s, "config": %d, "speedLimitMph": %d, )"
                              R"("record": "070103091300A1A2A3A4A5A6"})",
                              each.autoMode ? "true" : "false", each.config, each.mph));
        std::vector<std::string> words = {"settings", "load", path};
        if (each.force) {
            words.emplace_back("--force");
        }
        const CommandLineRun run = cli(words);
        EXPECT_EQ(run.status, each.held ? 0 : 2) << run.err;
        const std::array<int, 3> now = {device().settingsRecord()[5], device().settingsRecord()[1],
                                        device().settingsRecord()[4]};
        EXPECT_EQ(now, each.held.value_or(std::array<int, 3>{record[5], record[1], record[4]}))
            << each.config << " " << each.mph;
    }
}

TEST_F(CommandLineTest, AFlashCountsEachRegionsRecordsAndNeedsNoLeadingAddressRecord) {
    // Program memory until the first upper address record says otherwise.
    HexImage image;
    for (std::uint16_t r = 0; r < 3; ++r) {
        image.data(0, static_cast<std::uint16_t>(0x1000 + r * 16),
                   Bytes(16, static_cast<std::uint8_t>(0x40 + r)));
    }
    image.upper(0x00F0);
    image.data(0x00F0, 0x0100, {1, 2, 3, 4, 5, 6, 7, 8});
    image.data(0x00F0, 0x0108, {9, 10, 11});
    image.upper(0x0030);
    image.add(hexRecord(0, 0x0000, {9}));
    image.upper(0x0000);
    image.data(0, 0x2000, {0x0C, 0x00, 0xAB, 0xCD});
    const std::string firmware = file("fw.hex", image.file());

    CommandLineRun run = cli({"check", firmware});
    EXPECT_EQ(run.out, "Valid firmware file: " + firmware +
                           "\nSoftware version: 12\nProgram memory: 4 records, 52 bytes, "
                           "0x1000-0x2003\nEprom: 2 records, 11 bytes, 0x0100-0x010A\n"
                           "Records not written: 1 (upper address 0x0030)\n");
    run = cli({"check", firmware, "--json"});
    EXPECT_EQ(run.out, R"({"epromBytes":11,"epromFirst":"0x0100","epromLast":"0x010A",)"
                       R"("epromRecords":2,"file":")" +
                           firmware +
                           R"(","notWritten":1,"notWrittenUpperAddresses":["0x0030"],)"
                           R"("programBytes":52,"programFirst":"0x1000","programLast":"0x2003",)"
                           R"("programRecords":4,"software":12,"valid":true})"
                           "\n");

    run = cli({"--json", "flash", firmware, "--yes"});
    EXPECT_EQ(run.out,
              R"({"bootloader":"012A","deviceId":"BEEF","fileSoftware":12,"port":"/dev/ttySIM0",)"
              R"("records":6,"recordsSkipped":1,"recordsWritten":6,"result":"ok","seconds":4.91,)"
              R"("software":7,"softwareAfter":7})"
              "\n");
    EXPECT_TRUE(image.heldIn(device().programMemory, device().eprom));

    // The eprom record refused (identify, read, erase, three records with their Verify, then
    // the eprom's): the program records before it were written.
    device().faults.refuseRequest = device().requests().size() + 10;
    run = cli({"--json", "flash", firmware, "--yes"});
    const std::string failed =
        "Record 5 of 10 failed (line 5, address 0x00F00100): the controller's firmware is erased; "
        "flash again";
    EXPECT_EQ(run.out, R"({"bootloader":"012A","deviceId":"BEEF","fileSoftware":12,)"
                       R"("port":"/dev/ttySIM0","reason":")" +
                           failed +
                           R"(","records":6,"recordsSkipped":1,"recordsWritten":3,)"
                           R"("result":"failed","seconds":2.47,"software":7})"
                           "\n");
    EXPECT_THAT(run.err, EndsWith("\nCould not update firmware\n" + failed + "\n"));
}

}  // namespace
}  // namespace korvane::testing
