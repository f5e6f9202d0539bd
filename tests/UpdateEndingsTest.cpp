// Every way a firmware update can end, each followed in the same controller by a second update
// with a good file: whatever the first left behind must not reach the second.
#include <gtest/gtest.h>

#include "tests/support/ControlBench.h"
#include "tests/support/HexImage.h"
#include "tests/support/TemporaryFolder.h"

namespace korvane::testing {
namespace {

constexpr const char* kErased = "the controller's firmware is erased; flash again";

// One way to end. The requests are counted from the erase (request 1) of realisticImage(): its
// record k + 1 is written by request 2k and, for program memory, verified by request 2k + 1; the
// last Verify is request 54 and the reset 55.
struct Ending {
    const char* name;
    // What the panel answers: "good", "broken" (a bad checksum), "missing", or none (dismissed).
    const char* file = "good";
    // The answer to the update question: 0 Update, 1 Cancel.
    int button = 0;
    // Done once the device has had this many requests (0: before the question is answered).
    std::uint64_t atRequest = 0;
    void (*step)(SimulatedDevice&, MainViewControl&) = nullptr;
    // The device vanishes at this request, which gets no answer (0: never).
    std::uint64_t unplugAt = 0;
    // The alerts that follow, in order, each answered OK.
    std::vector<std::string> alerts = {};
    // Then: still connected, the update stopped after a refused record, the first file is all
    // in the device, and the statuses left ("{path}" stands for the file chosen).
    bool connected = false;
    bool stopped = false;
    bool complete = false;
    std::string status = {};
    std::string detail = {};
};

void PrintTo(const Ending& ending, std::ostream* out) {
    *out << ending.name;
}

class UpdateEndingsTest : public ControlBench, public ::testing::WithParamInterface<Ending> {
protected:
    void SetUp() override {
        std::string broken = first.file();
        broken.replace(broken.find("FA\n"), 2, "FB");
        folder.write("good.hex", first.file());
        folder.write("broken.hex", broken);
        folder.write("second.hex", second.file());
        connect();
        connected = stateOf(*control);
        device().clearRequests();
    }

    std::string path(const std::string& name) const { return folder.path(name + ".hex"); }

    const TemporaryFolder folder;
    const HexImage first = realisticImage();
    const HexImage second = realisticImage(24, 2);
    // The state right after the first connect.
    ControlState connected;
};

TEST_P(UpdateEndingsTest, LeavesNothingForTheNextUpdate) {
    const Ending& ending = GetParam();
    chooseFile(ending.file ? std::optional(path(ending.file)) : std::nullopt);
    EXPECT_TRUE(fileButton.enabled) << "the button is back once the panel has answered";
    device().faults.unplugAtRequest = ending.unplugAt;
    if (ending.atRequest == 0 && ending.step != nullptr) {
        ending.step(controller(), *control);
    }
    if (!view.alerts.empty() && view.alerts.front().buttons.size() == 2) {
        view.answer(ending.button);
    }
    if (ending.atRequest > 0) {
        ASSERT_TRUE(loop.runUntil([&] { return wire().size() >= ending.atRequest; }));
        ending.step(controller(), *control);
    }
    loop.runUntilIdle();
    if (!view.alerts.empty()) {
        EXPECT_TRUE(control->isConnected()) << "the window keeps its state until OK";
    }
    EXPECT_EQ(answerEveryAlert(), ending.alerts);
    if (ending.complete) {
        EXPECT_TRUE(first.heldBy(device()));
    }
    ControlState expected = (ending.connected ? connected : fresh).saying(ending.status);
    expected.firmwareDetail = ending.detail;
    if (const auto at = expected.firmwareDetail.find("{path}"); at != std::string::npos) {
        expected.firmwareDetail.replace(at, 6, path(ending.file));
    }
    if (ending.stopped) {
        expected.isUpdatingFirmware = true;
        expected.canEditSettings = false;
    }
    ASSERT_EQ(stateOf(*control), expected);

    // The second update, from a connect as the user makes it.
    device().faults = {};
    controller().portFaults = {};
    if (!control->isConnected()) {
        connect();
        EXPECT_EQ(stateOf(*control), connected.saying(ending.status));
    }
    device().clearRequests();
    view.progress.clear();
    chooseFile(path("second"));
    view.answer(0);
    EXPECT_EQ(answerEveryAlert(), (std::vector<std::string>{kLost, kRebootNotice}));
    EXPECT_TRUE(second.heldBy(device()));
    EXPECT_EQ(wire().size(), 55u) << "erase, 25 records verified, 2 eprom records, Verify, reset";
    // Its own progress: 0 as it starts, then k before record k + 1 up to all 33.
    std::vector<std::uint64_t> progress = {0};
    for (std::uint64_t k = 0; k <= second.records; ++k) {
        progress.push_back(k);
    }
    EXPECT_EQ(view.progress, progress);
    EXPECT_EQ(stateOf(*control), fresh);
    connect();
    EXPECT_EQ(stateOf(*control), connected);
}

INSTANTIATE_TEST_SUITE_P(
    EveryEnding, UpdateEndingsTest,
    ::testing::Values(
        Ending{.name = "Completed", .alerts = {kLost, kRebootNotice}, .complete = true},
        Ending{.name = "RecordRefused",
               .step = [](SimulatedDevice& d,
                          MainViewControl&) { d.controller.faults.refuseRequest = 4; },
               .connected = true,
               .stopped = true,
               .status = "Could not update firmware",
               .detail = std::string("Record 3 of 33 failed (line 3, address 0x00001010): ") +
                         kErased},
        Ending{
            .name = "EraseNotSent",
            .step = [](SimulatedDevice& d, MainViewControl&) { d.portFaults.refusesSend = true; },
            .alerts = {"Failed to send Erase command"}},
        Ending{.name = "UnpluggedAtTheErase",
               .unplugAt = 1,
               .alerts = {kLost},
               .status = "Firmware update interrupted during the erase: the controller may have "
                         "no firmware; flash again"},
        Ending{.name = "UnpluggedAtAWrite",
               .unplugAt = 4,
               .alerts = {kLost},
               .status = "Firmware update interrupted after record 2 of 33, with record 3 not "
                         "confirmed: the controller has no complete firmware; flash again"},
        Ending{.name = "UnpluggedAtAVerify",
               .unplugAt = 7,
               .alerts = {kLost},
               .status = "Firmware update interrupted after record 3 of 33, with record 4 not "
                         "confirmed: the controller has no complete firmware; flash again"},
        Ending{.name = "UnpluggedAtTheLastVerify",
               .unplugAt = 54,
               .alerts = {kLost},
               .status = "Firmware update interrupted before the restart: every record (33 of "
                         "33) is written and confirmed, but the controller was not told to "
                         "restart; switch it off and on, or run korvane-cli reset, to start the "
                         "new firmware"},
        // Disconnect waits for the update: it ends by itself.
        Ending{.name = "DisconnectPressedMidway",
               .atRequest = 10,
               .step =
                   [](SimulatedDevice&, MainViewControl& control) {
                       control.onDisconnect();
                       EXPECT_TRUE(control.isConnected());
                       EXPECT_TRUE(control.isUpdateRunning());
                   },
               .alerts = {kLost, kRebootNotice},
               .complete = true},
        Ending{.name = "QuestionCancelled", .button = 1, .connected = true},
        // Answered after the device has gone: nothing is sent, and the loss is all there is.
        Ending{.name = "UnpluggedBeforeTheAnswer",
               .step = [](SimulatedDevice& d, MainViewControl&) { d.unplug(); },
               .alerts = {kLost}},
        Ending{.name = "PanelDismissed", .file = nullptr, .connected = true},
        Ending{.name = "InvalidFile",
               .file = "broken",
               .connected = true,
               .status = "Invalid firmware file",
               .detail = "line 1: checksum FB, should be FA"},
        Ending{.name = "UnreadableFile",
               .file = "missing",
               .connected = true,
               .status = "Invalid firmware file",
               .detail = "{path}: No such file or directory"}),
    [](const ::testing::TestParamInfo<Ending>& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace korvane::testing
