#include <gtest/gtest.h>

#include "tests/support/ControlBench.h"
#include "tests/support/HexImage.h"

namespace korvane::testing {
namespace {

class FirmwareUpdateTest : public ControlBench {
protected:
    void SetUp() override {
        connect();
        device().clearRequests();
    }

    // Loads the file and answers its question with `button`.
    void load(const Bytes& file, int button = 0) {
        control->loadDataFile(file);
        ASSERT_TRUE(view.openAlert().has_value());
        view.answer(button);
    }

    // Runs until the reboot notice, an alert, or the end of the update.
    void runToTheEnd() {
        loop.runUntil([&] { return view.openAlert().has_value(); });
    }

    std::size_t requestsWith(CommandCode code) {
        return static_cast<std::size_t>(std::count_if(
            device().requests().begin(), device().requests().end(),
            [code](const Bytes& r) { return r[1] == static_cast<std::uint8_t>(code); }));
    }
};

TEST_F(FirmwareUpdateTest, WholeUpdateProgramsTheDeviceAsTheFileSays) {
    const HexImage image = realisticImage();
    control->loadDataFile(image.bytes());
    ASSERT_EQ(view.alerts.size(), 1u);
    EXPECT_EQ(view.alerts[0].message, "Update firmware from file Software version: 12?");
    EXPECT_EQ(view.alerts[0].buttons, (std::vector<std::string>{"Update", "Cancel"}));
    view.answer(0);
    EXPECT_TRUE(control->isUpdateRunning());
    loop.runUntil([&] { return view.alerts.size() == 2; });

    // The device restarts and leaves the bus, so its port closes before the notice comes.
    ASSERT_EQ(view.alerts.size(), 2u);
    EXPECT_EQ(view.alerts[0].message, kLost);
    EXPECT_EQ(view.alerts[1].message, kRebootNotice);
    const std::uint64_t n = image.records;
    EXPECT_EQ(control->maxFirmwareCount(), n);
    // 0 when programming starts, then k before record k + 1, and n before the last Verify.
    ASSERT_EQ(view.progress.size(), n + 2);
    EXPECT_EQ(view.progress[0], 0u);
    for (std::uint64_t k = 0; k <= n; ++k) {
        EXPECT_EQ(view.progress[k + 1], k);
    }
    for (std::uint64_t left = n; left >= 1; --left) {
        EXPECT_EQ(log.countStartingWith("File line -" + std::to_string(left) + ": :"), 1u) << left;
    }
    EXPECT_EQ(log.count("File line -" + std::to_string(n) + ": " + upperAddressRecord(0)), 1u);

    for (const auto& [upper, bytes] : image.memory) {
        const auto& memory = upper == 0x00F0 ? device().eprom : device().programMemory;
        for (const auto& [address, value] : bytes) {
            ASSERT_EQ(memory[address], value) << upper << ":" << address;
        }
    }
    EXPECT_EQ(device().programMemory[0x0000], SimulatedController::kErasedByte) << "0x0030 skipped";
    // Erase, 25 program records with a Verify each, 2 eprom records, the last Verify, reset.
    EXPECT_EQ(requestsWith(CommandCode::Erase), 1u);
    EXPECT_EQ(requestsWith(CommandCode::WriteProgram), 25u);
    EXPECT_EQ(requestsWith(CommandCode::WriteEprom), 2u);
    EXPECT_EQ(requestsWith(CommandCode::Verify), 26u);
    EXPECT_EQ(device().requests().back(), (Bytes{0x55, 0x09, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(control->firmwareStatus(), "Updating firmware. Please wait...");
}

TEST_F(FirmwareUpdateTest, FailedThirdRecordStopsTheUpdate) {
    controller().restartClosesPort = false;
    // Erase is request 1; the first record only sets the upper address, the second takes a write
    // and a Verify; the third record's write is request 4.
    device().faults.refuseRequest = 4;
    load(realisticImage().bytes());
    loop.runUntil([&] { return !control->isUpdateRunning(); });
    loop.runUntilIdle();
    EXPECT_EQ(control->firmwareStatus(), "Could not update firmware");
    EXPECT_EQ(control->firmwareDetail(),
              "Record 3 of 33 failed (line 3, address 0x00001010): the controller's firmware is "
              "erased; flash again");
    EXPECT_EQ(control->currFirmwareCount(), 2u);
    EXPECT_TRUE(control->isUpdatingFirmware());
    EXPECT_TRUE(control->canChooseFile()) << "a new file may be chosen";
    EXPECT_FALSE(control->canEditSettings()) << "the settings wait for a working firmware";
    EXPECT_EQ(device().requests().size(), 4u) << "no fourth record, no reset";
    EXPECT_FALSE(view.openAlert());
    EXPECT_EQ(control->firmwareLines().size(), realisticImage().records - 3);

    // A new file may be chosen; it starts again with the erase.
    device().faults = {};
    load(realisticImage(2).bytes());
    ASSERT_FALSE(device().requests().empty());
    EXPECT_EQ(device().requests().back()[1], static_cast<std::uint8_t>(CommandCode::Erase));
    runToTheEnd();
    EXPECT_EQ(view.openAlert(), std::optional<std::string>(kRebootNotice));
}

TEST_F(FirmwareUpdateTest, EraseThatCannotBeSentEndsInAnAlert) {
    controller().restartClosesPort = false;
    load(realisticImage(2).bytes());
    runToTheEnd();
    view.answer();
    connect();
    const auto counts = std::make_pair(control->maxFirmwareCount(), control->currFirmwareCount());

    controller().portFaults.refusesSend = true;
    control->loadDataFile(realisticImage().bytes());
    view.answer(0);
    EXPECT_EQ(view.openAlert(), std::optional<std::string>("Failed to send Erase command"));
    // Lost while the alert is up: nothing was erased, so nothing is said of an update.
    controller().unplug();
    view.answer();
    view.answer();
    EXPECT_EQ(control->firmwareStatus(), "");
    EXPECT_TRUE(control->canConnect());
    EXPECT_EQ(std::make_pair(control->maxFirmwareCount(), control->currFirmwareCount()), counts);
}

TEST_F(FirmwareUpdateTest, LastVerifyThatFailsStillEndsTheUpdate) {
    // Every record was verified on its own: whatever the last Verify says, the reset follows as
    // soon as it is judged, and the notice 1 s later.
    const struct {
        const char* fault;
        void (*apply)(ControllerFaults&);
        Duration judged;
    } cases[] = {
        {"wrong sum", [](ControllerFaults& f) { f.wrongVerifySum = true; }, Duration{10}},
        {"no reply", [](ControllerFaults& f) { f.unanswered = {CommandCode::Verify}; },
         Duration{1000}},
    };
    controller().restartClosesPort = false;
    for (const auto& each : cases) {
        device().faults = {};
        device().clearRequests();
        load(realisticImage().bytes());
        // Request 53 is the last record's Verify, 54 the last Verify, 55 the reset.
        ASSERT_TRUE(loop.runUntil([&] { return wire().size() == 53; }));
        each.apply(device().faults);
        ASSERT_TRUE(loop.runUntil([&] { return wire().size() == 54; }));
        const Duration verified = loop.now();
        ASSERT_TRUE(loop.runUntil([&] { return wire().size() == 55; }))
            << each.fault << ": no reset";
        EXPECT_EQ(loop.now() - verified, each.judged) << each.fault;
        EXPECT_EQ(wire().back(), (Bytes{0x55, 0x09, 0, 0, 0, 0, 0, 0, 0, 0})) << each.fault;
        const Duration reset = loop.now();
        runToTheEnd();
        EXPECT_EQ(loop.now() - reset, kRebootNoticeDelay) << each.fault;
        EXPECT_EQ(view.openAlert(), std::optional<std::string>(kRebootNotice)) << each.fault;
        EXPECT_EQ(control->firmwareStatus(), "Updating firmware. Please wait...") << each.fault;
        view.answer();
        EXPECT_EQ(stateOf(*control), fresh) << each.fault;
        connect();
    }
}

TEST_F(FirmwareUpdateTest, NothingElseStartsWhileTheUpdateRuns) {
    controller().restartClosesPort = false;
    load(realisticImage().bytes());
    for (const Duration at : {Duration{500}, Duration{1105}}) {
        loop.runFor(at);
        control->setIsAuto(1);
        control->setConfig(2);
        chooseSpeed("5");
        control->loadDataFile(realisticImage(2).bytes());
        control->updateFirmware();
        EXPECT_TRUE(view.alerts.empty());
        EXPECT_EQ(control->setStatus(), "");
    }
    runToTheEnd();
    EXPECT_EQ(view.openAlert(), std::optional<std::string>(kRebootNotice));
    EXPECT_EQ(requestsWith(CommandCode::Erase), 1u);
    const Bytes settingsWrite(CommandTable[kWriteSettingsEntry].begin(),
                              CommandTable[kWriteSettingsEntry].end());
    for (const Bytes& request : device().requests()) {
        EXPECT_FALSE(std::equal(settingsWrite.begin(), settingsWrite.end(), request.begin()));
    }
}

TEST_F(FirmwareUpdateTest, UpdateThatCannotStartSaysWhy) {
    // Confirmed while a setting is written.
    control->loadDataFile(realisticImage().bytes());
    control->setIsAuto(1);
    view.answer(0);
    EXPECT_EQ(control->firmwareStatus(),
              "Firmware update not started: a setting is being written; choose the file again "
              "when it is done");
    loop.runUntilIdle();
    EXPECT_EQ(requestsWith(CommandCode::Erase), 0u);

    // Confirmed after the device was let go.
    control->loadDataFile(realisticImage().bytes());
    control->onDisconnect();
    view.answer(0);
    loop.runUntilIdle();
    EXPECT_EQ(control->firmwareStatus(), "Firmware update not started: no controller is connected");
    EXPECT_FALSE(control->isUpdateRunning());
    EXPECT_EQ(control->maxFirmwareCount(), 0u);
}

TEST_F(FirmwareUpdateTest, LateRebootNoticeLeavesANewSearchAlone) {
    load(realisticImage(2).bytes());
    // The device leaves the bus on restart: its loss is told before the reboot notice.
    runToTheEnd();
    EXPECT_EQ(view.openAlert(), std::optional<std::string>(kLost));
    view.answer();
    control->onConnect();
    runToTheEnd();
    EXPECT_EQ(view.openAlert(), std::optional<std::string>(kRebootNotice));
    view.answer();
    EXPECT_FALSE(control->canConnect()) << "the search goes on";
    loop.runUntil([&] { return control->isConnected(); });
    EXPECT_FALSE(control->canConnect()) << "a held link is never offered a second connect";
    EXPECT_EQ(ports.livePorts(), 1u);
}

TEST_F(FirmwareUpdateTest, InvalidFileOrCancelChangeNothing) {
    control->loadDataFile(realisticImage(3).bytes());
    view.answer(1);
    EXPECT_TRUE(control->firmwareLines().empty()) << "Cancel stores nothing";
    EXPECT_EQ(control->firmwareStatus(), "");

    std::string broken = realisticImage().file();
    broken.replace(broken.find("FA\n"), 2, "FB");
    control->loadDataFile(Bytes(broken.begin(), broken.end()));
    EXPECT_EQ(control->firmwareStatus(), "Invalid firmware file");
    EXPECT_EQ(control->firmwareDetail(), "line 1: checksum FB, should be FA");
    EXPECT_TRUE(view.alerts.empty());
    EXPECT_EQ(log.countStartingWith("Invalid firmware file: line 1: checksum"), 1u);

    // Records that will not be written are named before the question is answered.
    control->loadDataFile(realisticImage().bytes());
    EXPECT_EQ(control->firmwareDetail(), "Records not written: 2 (upper address 0x0030)");
    view.answer(1);
    loop.runUntilIdle();
    EXPECT_TRUE(device().requests().empty()) << "never erased";
}

TEST_F(FirmwareUpdateTest, ManyRecordsWithoutExchangeKeepTheStackFlat) {
    controller().restartClosesPort = false;
    HexImage image;
    image.upper(0x0030);
    for (int i = 0; i < 100000; ++i) {
        image.add(hexRecord(0x00, static_cast<std::uint16_t>(i * 4), {1, 2, 3, 4}));
    }
    // The stack depth at every record's log line.
    struct DepthLog final : LogSink {
        void write(std::string_view) override {
            const char here = 0;
            const auto at = reinterpret_cast<std::uintptr_t>(&here);
            lowest = std::min(lowest, at);
            highest = std::max(highest, at);
        }
        std::uintptr_t lowest = UINTPTR_MAX;
        std::uintptr_t highest = 0;
    } depth;
    const LogSink::Scope scope(depth);
    load(image.bytes());
    runToTheEnd();
    EXPECT_EQ(view.openAlert(), std::optional<std::string>(kRebootNotice));
    EXPECT_EQ(control->currFirmwareCount(), 100001u);
    EXPECT_LT(depth.highest - depth.lowest, 64u * 1024u);
}

}  // namespace
}  // namespace korvane::testing
