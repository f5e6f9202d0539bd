// Every attached controller at once, on virtual time: the CLI's sessions over simulated ports.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "app/cli/Fleet.h"
#include "app/cli/Outcome.h"
#include "tests/support/HexImage.h"
#include "tests/support/SessionRun.h"
#include "tests/support/SimulatedBench.h"
#include "tests/support/TemporaryFolder.h"

namespace korvane::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class FleetTest : public SimulatedBench {
protected:
    FleetTest() {
        for (const char* path : {"/dev/ttySIM1", "/dev/ttySIM2", "/dev/ttySIM3"}) {
            ports.addDevice(path);
        }
    }

    SimulatedController& device(int index) {
        return ports.device("/dev/ttySIM" + std::to_string(index))->controller;
    }

    // Runs `words` on every controller until it is done; the exit status.
    int runAll(const std::vector<std::string>& words, FleetOptions options = {}) {
        return runFleet(loop, parse(words), options, out, err);
    }

    // One controller, as korvane-cli without --all.
    int runAlone(const std::vector<std::string>& words) {
        return runSession(loop, parse(words), out, err).status;
    }

    static CommandAction parse(const std::vector<std::string>& words) {
        return parseCommand(words);
    }

    std::string writeFirmware(const HexImage& image) {
        return folder.write("fw.hex", image.file());
    }

    // The commands each device received, by their codes.
    std::vector<int> commandsReceived(int index) {
        std::vector<int> codes;
        for (const Bytes& request : device(index).requests()) {
            codes.push_back(request.at(1));
        }
        return codes;
    }

    TemporaryFolder folder;
    std::ostringstream out;
    std::ostringstream err;
};

TEST_F(FleetTest, FlashesEveryControllerAtOnceAndOneRefusedRecordFailsAlone) {
    const HexImage image = realisticImage(150);
    const std::string file = writeFirmware(image);
    // Identify, read, erase, record 1 and its Verify; then the second record is refused.
    device(2).faults.refuseRequest = 6;
    EXPECT_EQ(runAll({"flash", file, "--yes"}), 1);

    EXPECT_EQ(err.str(),
              "/dev/ttySIM2: Could not update firmware\n"
              "/dev/ttySIM2: Record 3 of 159 failed (line 3, address 0x00001010): the "
              "controller's firmware is erased; flash again\n");
    const std::string summary = out.str().substr(out.str().find("Summary:"));
    EXPECT_EQ(summary,
              "Summary: /dev/ttySIM0, device BEEF, software 07, file's software 12, back with "
              "software 07, ok, 6.45 s\n"
              "Summary: /dev/ttySIM1, device BEEF, software 07, file's software 12, back with "
              "software 07, ok, 6.45 s\n"
              "Summary: /dev/ttySIM2, device BEEF, software 07, file's software 12, failed: "
              "Record 3 of 159 failed (line 3, address 0x00001010): the controller's firmware is "
              "erased; flash again, 1.03 s\n"
              "Summary: /dev/ttySIM3, device BEEF, software 07, file's software 12, back with "
              "software 07, ok, 6.45 s\n");
    EXPECT_EQ(out.str().rfind("4 controllers answered: /dev/ttySIM0, /dev/ttySIM1, /dev/ttySIM2, "
                              "/dev/ttySIM3\n/dev/ttySIM0: Records not written: 2 (upper "
                              "address 0x0030)\n",
                              0),
              0u);
    // The time left once 2 s of programming give a rate, rounded up.
    for (const char* line : {"/dev/ttySIM3: Programmed 96 of 159 records (60%)\n",
                             "/dev/ttySIM3: Programmed 112 of 159 records (70%), 0:02 elapsed, "
                             "0:01 left\n"}) {
        EXPECT_THAT(out.str(), HasSubstr(line));
    }
    for (const int each : {0, 1, 3}) {
        EXPECT_EQ(device(each).programMemory[0x2002], 0xAB) << each;
    }

    // Each port got exactly what a single-controller run sends to its one controller.
    const std::vector<Bytes> together = device(0).requests();
    EXPECT_EQ(device(1).requests(), together);
    EXPECT_EQ(device(3).requests(), together);
    device(0).clearRequests();
    for (const int other : {1, 2, 3}) {
        device(other).faults.silent = true;
    }
    EXPECT_EQ(runAlone({"flash", file, "--yes"}), 0);
    EXPECT_EQ(device(0).requests(), together);
}

TEST_F(FleetTest, TheQuestionIsAskedOnceAndAnInterruptionNamesEachControllersState) {
    const std::string file = writeFirmware(realisticImage(4));
    CommandAction action = parse({"flash", file, "--yes"});
    action.question = "Update firmware from file Software version: 12?";
    std::vector<std::string> asked;
    std::function<void(bool)> reply;
    const auto flash = [&](Fleet& fleet) {
        fleet.setConfirmer([&](const std::string& question, std::function<void(bool)> answer) {
            asked.push_back(question);
            reply = std::move(answer);
        });
        fleet.start([](int) {});
        loop.runUntil([&] { return reply != nullptr; });
    };
    {
        Fleet fleet(action, {}, out, err);
        flash(fleet);
        EXPECT_EQ(fleet.interruption().statement, "Firmware update cancelled\n");
        std::exchange(reply, nullptr)(false);
        loop.runUntilIdle();
        EXPECT_EQ(err.str(), "Firmware update cancelled\n");
        EXPECT_EQ(commandsReceived(0), (std::vector<int>{0x00, 0x04})) << "nothing erased";
    }
    device(3).faults.silent = true;
    Fleet fleet(action, {}, out, err);
    flash(fleet);
    std::exchange(reply, nullptr)(true);
    // Stopped once the first controller has sent its first record (its count holds the
    // cancelled run too).
    loop.runUntil([&] { return device(0).requests().size() > 5; });
    EXPECT_EQ(asked, (std::vector<std::string>{
                         "Update firmware from file Software version: 12? (4 controllers)",
                         "Update firmware from file Software version: 12? (3 controllers)"}));
    EXPECT_THAT(out.str(), Not(HasSubstr("Update firmware"))) << "asked once, not each";
    // In the same tick the others have not yet heard that their erase is over.
    EXPECT_EQ(fleet.interruption().statement,
              "/dev/ttySIM0: Firmware update interrupted after record 1 of 13, with record 2 not "
              "confirmed: the controller has no complete firmware; flash again\n"
              "/dev/ttySIM1: Firmware update interrupted during the erase: the controller may "
              "have no firmware; flash again\n"
              "/dev/ttySIM2: Firmware update interrupted during the erase: the controller may "
              "have no firmware; flash again\n");
}

TEST_F(FleetTest, OneControllersOutcomeAsJson) {
    const auto outcome = [&](const std::vector<std::string>& words) {
        const CommandAction action = parse(words);
        const SessionRun run = runSession(loop, action, out, err);
        return describeOutcome(*run.session, action, {run.status == 0, "the reason"}).text();
    };
    for (const int other : {1, 2, 3}) {
        device(other).faults.silent = true;
    }
    EXPECT_EQ(
        outcome({"set", "config", "3"}),
        R"({"auto":false,"bootloader":"012A","config":3,"deviceId":"BEEF",)"
        R"("port":"/dev/ttySIM0","result":"ok","seconds":1.8,"software":7,"speedLimitMph":19})");
    // Data records written, not the upper address records around them; the file's version as the
    // file's.
    EXPECT_EQ(outcome({"flash", writeFirmware(realisticImage(4)), "--yes"}),
              R"({"bootloader":"012A","deviceId":"BEEF","fileSoftware":12,"port":"/dev/ttySIM0",)"
              R"("records":7,"recordsSkipped":2,"recordsWritten":7,"result":"ok","seconds":4.93,)"
              R"("software":7,"softwareAfter":7})");
    device(0).faults.silent = true;
    EXPECT_EQ(outcome({"reset"}),
              R"({"reason":"Please connect the USB device","result":"failed","seconds":1.2,)"
              R"("unanswered":["/dev/ttySIM0: silent","/dev/ttySIM1: silent",)"
              R"("/dev/ttySIM2: silent","/dev/ttySIM3: silent"]})");
}

TEST_F(FleetTest, FewerThanExpectedWritesNothing) {
    device(3).faults.silent = true;
    EXPECT_EQ(runAll({"set", "config", "3"}, {.expect = 4, .json = true}), 1);
    EXPECT_EQ(err.str(),
              "Only 3 of 4 expected controllers answered (/dev/ttySIM0, /dev/ttySIM1, "
              "/dev/ttySIM2); nothing was written\n/dev/ttySIM3: silent\n");
    EXPECT_EQ(out.str(),
              R"({"answered":["/dev/ttySIM0","/dev/ttySIM1","/dev/ttySIM2"],"reason":"Only 3 of )"
              R"(4 expected controllers answered (/dev/ttySIM0, /dev/ttySIM1, /dev/ttySIM2); )"
              R"(nothing was written","result":"failed","unanswered":["/dev/ttySIM3: silent"]})"
              "\n");
    const std::vector<int> probe{0x00, 0x04};
    for (const int each : {0, 1, 2}) {
        EXPECT_EQ(commandsReceived(each), probe) << each;
    }
    EXPECT_EQ(ports.openPorts(), 0u);
}

TEST_F(FleetTest, SetOnSeveralReportsEachAsAJsonLine) {
    device(1).faults.refuseWrites = true;
    ports.device("/dev/ttySIM3")->portFaults.neverOpens = true;
    EXPECT_EQ(runAll({"set", "config", "3"}, {.expect = 3, .json = true}), 1);
    EXPECT_EQ(
        out.str(),
        R"({"auto":false,"bootloader":"012A","config":3,"deviceId":"BEEF",)"
        R"("port":"/dev/ttySIM0","result":"ok","seconds":0.4,"software":7,"speedLimitMph":19})"
        "\n"
        R"({"auto":false,"bootloader":"012A","config":1,"deviceId":"BEEF",)"
        R"("port":"/dev/ttySIM1","reason":"Could not set Config","result":"failed",)"
        R"("seconds":0.4,"software":7,"speedLimitMph":19})"
        "\n"
        R"({"auto":false,"bootloader":"012A","config":3,"deviceId":"BEEF",)"
        R"("port":"/dev/ttySIM2","result":"ok","seconds":0.4,"software":7,"speedLimitMph":19})"
        "\n");
    EXPECT_EQ(err.str(), "/dev/ttySIM1: Could not set Config\n");
    EXPECT_EQ(device(0).settingsRecord()[1], 4);
    EXPECT_EQ(device(2).settingsRecord()[1], 4);
}

TEST_F(FleetTest, NoControllerAnsweringSaysWhyForEachPort) {
    device(0).faults.silent = true;
    device(1).faults.garbage = true;
    // Held by another program.
    const std::unique_ptr<ORSSerialPort> holder = ports.portWithPath("/dev/ttySIM2");
    holder->open();
    loop.runUntilIdle();
    ports.device("/dev/ttySIM3")->portFaults.noAccess = true;
    ports.addDevice("/dev/ttySIM4").portFaults.neverOpens = true;
    ports.addDevice("/dev/ttySIM5").controller.faults.unanswered = {CommandCode::ReadEprom};
    EXPECT_EQ(runAll({"info"}), 1);
    EXPECT_EQ(err.str(),
              "Please connect the USB device\n"
              "/dev/ttySIM0: silent\n"
              "/dev/ttySIM1: answered something else\n"
              "/dev/ttySIM2: in use by another program\n"
              "/dev/ttySIM4: did not open\n"
              "/dev/ttySIM5: answered, but did not send its settings\n"
              "No permission to open /dev/ttySIM3: add yourself to the dialout group (sudo "
              "usermod -aG dialout $USER) and log in again\n");
    EXPECT_EQ(out.str(), "");
    // Every port's reason in the JSON, also the one without permission.
    EXPECT_EQ(runAll({"info"}, {.json = true}), 1);
    EXPECT_THAT(out.str(),
                HasSubstr(R"("unanswered":["/dev/ttySIM0: silent",)"
                          R"("/dev/ttySIM1: answered something else",)"
                          R"("/dev/ttySIM2: in use by another program",)"
                          R"("/dev/ttySIM3: no permission","/dev/ttySIM4: did not open",)"
                          R"("/dev/ttySIM5: answered, but did not send its settings"]})"));
}

TEST_F(FleetTest, AControllerNotBackHasAStatusOfItsOwnUnlessAnotherFailed) {
    const std::string file = writeFirmware(realisticImage(4));
    ports.device("/dev/ttySIM1")->restartAbsence.reset();
    EXPECT_EQ(runAll({"flash", file, "--yes"}, {.json = true}), 3);
    EXPECT_THAT(out.str(),
                HasSubstr(R"("port":"/dev/ttySIM1","reason":"Not back within 15 s: the )"
                          R"(firmware is written and verified, but the controller has not )"
                          R"(answered since its restart; check its cable and power, then run )"
                          R"(korvane-cli info","records":7,"recordsSkipped":2,)"
                          R"("recordsWritten":7,"result":"notBack","seconds":16.13,)"
                          R"("software":7})"));
    EXPECT_THAT(out.str(),
                HasSubstr(R"("port":"/dev/ttySIM2","records":7,"recordsSkipped":2,)"
                          R"("recordsWritten":7,"result":"ok","seconds":3.53,"software":7,)"
                          R"("softwareAfter":7})"));
    ports.device("/dev/ttySIM1")->setPresent(true);
    device(2).faults.refuseWrites = true;
    out.str("");
    EXPECT_EQ(runAll({"flash", file, "--yes"}), 1) << "a failure says more";
    EXPECT_THAT(out.str(),
                HasSubstr("Summary: /dev/ttySIM1, device BEEF, software 07, file's software "
                          "12, not back: Not back within 15 s: "));
}

}  // namespace
}  // namespace korvane::testing
