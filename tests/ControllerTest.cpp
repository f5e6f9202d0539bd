// The window's controller where a rule of the property test cannot say it: exact texts, log lines
// and delays of an update, calls the window never makes, and extremes.
#include <gtest/gtest.h>

#include "tests/support/ControlBench.h"
#include "tests/support/HexImage.h"

namespace korvane::testing {
namespace {

using ControllerTest = ControlBench;

TEST_F(ControllerTest, AFileIsJudgedThenAskedAboutAndItsUpdateStartsOnlyWhenItCanAndRunsAlone) {
    connect();
    control->loadDataFile(Bytes{':', '0', '0'});
    EXPECT_EQ(log.countStartingWith("Invalid firmware file: line 1: "), 1u);
    const std::string said = control->firmwareDetail();
    control->loadDataFile(realisticImage().bytes());
    EXPECT_EQ(view.alerts.at(0).message, "Update firmware from file Software version: 12?");
    EXPECT_EQ(view.alerts[0].buttons, (std::vector<std::string>{"Update", "Cancel"}));
    EXPECT_EQ(control->firmwareDetail(), "Records not written: 2 (upper address 0x0030)");
    view.answer(1);
    EXPECT_EQ(control->firmwareDetail(), said) << "a file not taken says nothing";
    // Confirmed while a setting is written, or for a link that has gone.
    control->loadDataFile(realisticImage().bytes());
    control->setIsAuto(1);
    view.answer(0);
    EXPECT_EQ(control->firmwareStatus(),
              "Firmware update not started: a setting is being written; "
              "choose the file again when it is done");
    loop.runUntil([&] { return control->isEnabled(); });
    control->loadDataFile(realisticImage().bytes());
    control->onDisconnect();
    view.answer(0);
    EXPECT_EQ(control->firmwareStatus(), "");
    EXPECT_FALSE(control->isUpdateRunning());
    // Calls the window cannot make while an update runs change nothing.
    connect();
    device().clearRequests();
    controller().restartClosesPort = false;
    control->loadDataFile(realisticImage().bytes());
    view.answer(0);
    for (const int atMs : {500, 1105}) {
        loop.runFor(Duration{atMs});
        control->setIsAuto(0);
        control->setConfig(2);
        speeds.selectItemWithTitle("5");
        control->onSpeed(speeds);
        const std::string shown = control->firmwareStatus() + control->firmwareDetail();
        control->loadDataFile(realisticImage(2).bytes());
        control->loadDataFile(Bytes{':'});
        EXPECT_EQ(control->firmwareStatus() + control->firmwareDetail(), shown) << "no file judged";
        control->updateFirmware();
        EXPECT_TRUE(view.alerts.empty());
        EXPECT_EQ(control->setStatus(), "");
    }
    EXPECT_EQ(answerEveryAlert(), std::vector<std::string>{kRebootNotice});
    EXPECT_EQ(wire().size(), 55u) << "one erase, the records, the last Verify, the reset";
    // Every record of the file is logged as it goes, counted down to the first.
    EXPECT_EQ(log.countStartingWith("File line -"), 33u);
    EXPECT_EQ(log.count("File line -33: :020000040000FA"), 1u);
}

TEST_F(ControllerTest, ManyRecordsWithoutExchangeKeepTheStackFlat) {
    connect();
    controller().restartClosesPort = false;
    HexImage image;
    image.upper(0x0030);
    // Were each record to call the next, the stack would overflow long before the last.
    for (int i = 0; i < 300000; ++i) {
        image.add(0, static_cast<std::uint16_t>(i * 4), {1, 2, 3, 4});
    }
    control->loadDataFile(image.bytes());
    view.answer(0);
    EXPECT_EQ(answerEveryAlert(), std::vector<std::string>{kRebootNotice});
    EXPECT_EQ(control->maxFirmwareCount(), 300001u);
}

// A configuration the window does not offer, its rewrite refused at the connect: a restore writes
// what its file changes, and nothing else.
TEST_F(ControllerTest, ARestoreWritesOnlyWhatItsFileChanges) {
    device().setSettingsRecord(std::array<std::uint8_t, 2>{7, 3});
    device().faults.refuseWrites = true;
    connect();
    loop.runUntilIdle();
    device().faults.refuseWrites = false;
    device().clearRequests();
    control->restoreSettings({true, 3, 19});
    loop.runUntilIdle();
    EXPECT_EQ(wire().size(), 4u) << "Auto and Config, each written and read back";
    EXPECT_EQ(control->setStatus(), "Settings loaded");
}

}  // namespace
}  // namespace korvane::testing
