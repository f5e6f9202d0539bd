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

// What the device holds afterwards, the alerts and the progress: UpdateEndingsTest.
TEST_F(FirmwareUpdateTest, UpdateAsksFirstThenLogsEveryRecord) {
    const HexImage image = realisticImage();
    control->loadDataFile(image.bytes());
    ASSERT_EQ(view.alerts.size(), 1u);
    EXPECT_EQ(view.alerts[0].message, "Update firmware from file Software version: 12?");
    EXPECT_EQ(view.alerts[0].buttons, (std::vector<std::string>{"Update", "Cancel"}));
    view.answer(0);
    EXPECT_TRUE(control->isUpdateRunning());
    answerEveryAlert();
    const std::uint64_t n = image.records;
    EXPECT_EQ(control->maxFirmwareCount(), n);
    for (std::uint64_t left = n; left >= 1; --left) {
        EXPECT_EQ(log.countStartingWith("File line -" + std::to_string(left) + ": :"), 1u) << left;
    }
    EXPECT_EQ(log.count("File line -" + std::to_string(n) + ": " + upperAddressRecord(0)), 1u);
}

TEST_F(FirmwareUpdateTest, FailedRecordStopsTheUpdateWhereItFailed) {
    // Erase is request 1; the first record only sets the upper address, the second takes a write
    // and a Verify; the third record's write is request 4.
    device().faults.refuseRequest = 4;
    load(realisticImage().bytes());
    loop.runUntilIdle();
    EXPECT_EQ(control->currFirmwareCount(), 2u);
    EXPECT_EQ(device().requests().size(), 4u) << "no fourth record, no reset";
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
    ASSERT_TRUE(view.openAlert()) << "the erase not sent";
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
        EXPECT_EQ(view.openAlert(), kRebootNotice) << each.fault;
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
    EXPECT_EQ(view.openAlert(), kRebootNotice);
    EXPECT_EQ(requestsWith(CommandCode::Erase), 1u);
    for (const Bytes& request : device().requests()) {
        EXPECT_NE(frameIndex(request), kWriteSettingsEntry);
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

    // Confirmed after the device was let go: the answer was for a link that is gone.
    control->loadDataFile(realisticImage().bytes());
    control->onDisconnect();
    view.answer(0);
    loop.runUntilIdle();
    EXPECT_EQ(control->firmwareStatus(), "");
    EXPECT_FALSE(control->isUpdateRunning());
    EXPECT_EQ(control->maxFirmwareCount(), 0u);
}

TEST_F(FirmwareUpdateTest, LateRebootNoticeLeavesANewSearchAlone) {
    load(realisticImage(2).bytes());
    // The device leaves the bus on restart: its loss is told before the reboot notice.
    runToTheEnd();
    EXPECT_EQ(view.openAlert(), kLost);
    view.answer();
    control->onConnect();
    runToTheEnd();
    EXPECT_EQ(view.openAlert(), kRebootNotice);
    view.answer();
    EXPECT_FALSE(control->canConnect()) << "the search goes on";
    loop.runUntil([&] { return control->isConnected(); });
    EXPECT_FALSE(control->canConnect()) << "a held link is never offered a second connect";
    EXPECT_EQ(ports.livePorts(), 1u);
}

// What a refused or cancelled file leaves in the window: UpdateEndingsTest.
TEST_F(FirmwareUpdateTest, FileIsJudgedBeforeTheQuestion) {
    control->loadDataFile(Bytes{':', '0', '0'});
    EXPECT_EQ(log.countStartingWith("Invalid firmware file: line 1: "), 1u);
    // Records that will not be written are named before the question is answered.
    control->loadDataFile(realisticImage().bytes());
    EXPECT_EQ(control->firmwareDetail(), "Records not written: 2 (upper address 0x0030)");
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
    EXPECT_EQ(view.openAlert(), kRebootNotice);
    EXPECT_EQ(control->currFirmwareCount(), 100001u);
    EXPECT_LT(depth.highest - depth.lowest, 64u * 1024u);
}

}  // namespace
}  // namespace korvane::testing
