#include <gtest/gtest.h>

#include <algorithm>

#include "app/ListSpeedPopup.h"
#include "app/MainViewControl.h"
#include "tests/support/RecordingView.h"
#include "tests/support/SimulatedBench.h"

namespace korvane::testing {
namespace {

class MainViewControlTest : public SimulatedBench {
protected:
    void SetUp() override {
        control->setSpeedPopup(&speeds);
        control->viewDidLoad();
    }

    void connect() {
        control->onConnect();
        loop.runUntil([&] { return control->isConnected() || control->canConnect(); });
    }

    // Chooses `title` in the speed list, as the user does, and lets the write finish.
    void chooseSpeed(const std::string& title) {
        speeds.selectItemWithTitle(title);
        control->onSpeed(speeds);
        loop.runUntil([&] { return control->isEnabled(); });
    }

    SimulatedController& device() { return controller().controller; }
    std::vector<std::string> titles(int from, int to) {
        std::vector<std::string> all;
        for (int i = from; i <= to; ++i) {
            all.push_back(std::to_string(i));
        }
        return all;
    }

    RecordingView view;
    ListSpeedPopup speeds;
    std::shared_ptr<MainViewControl> control = MainViewControl::create(view);
};

TEST_F(MainViewControlTest, StartsIdle) {
    EXPECT_TRUE(control->canConnect());
    EXPECT_TRUE(control->isEnabled());
    EXPECT_FALSE(control->isConnected());
    EXPECT_EQ(control->connectStatus(), "");
    EXPECT_EQ(control->setStatus(), "");
    EXPECT_EQ(control->firmwareStatus(), "");
    EXPECT_EQ(control->maxSpeed(), 30);
    EXPECT_EQ(control->isKmh(), 0);
    EXPECT_EQ(speeds.titles(), titles(1, 30));
    EXPECT_EQ(speeds.selectedItemTitle(), "");
    EXPECT_EQ(control->maxFirmwareCount(), 0u);
    // A speed chosen without a device goes nowhere.
    speeds.selectItemWithTitle("12");
    control->onSpeed(speeds);
    EXPECT_TRUE(control->isEnabled());
    EXPECT_EQ(control->setStatus(), "");
}

TEST_F(MainViewControlTest, NamesThePortTakenWhenOthersAnswerToo) {
    ports.addDevice("/dev/ttySIM1");
    ports.addDevice("/dev/ttySIM2");
    connect();
    EXPECT_EQ(control->connectDetail(),
              "Took /dev/ttySIM0; 2 more controllers answered (/dev/ttySIM1, /dev/ttySIM2). "
              "korvane-cli --all serves several at once.");
    control->onDisconnect();
    EXPECT_EQ(control->connectDetail(), "");
    ports.device("/dev/ttySIM2")->controller.faults.silent = true;
    connect();
    EXPECT_EQ(control->connectDetail(),
              "Took /dev/ttySIM0; 1 more controller answered (/dev/ttySIM1). korvane-cli --all "
              "serves several at once.");
}

TEST_F(MainViewControlTest, ConnectShowsTheIdentityAndTheSettings) {
    control->onConnect();
    EXPECT_FALSE(control->canConnect());
    loop.runFor(Duration{1399});
    EXPECT_FALSE(control->isConnected());
    loop.runFor(Duration{1});
    EXPECT_TRUE(control->isConnected());
    EXPECT_FALSE(control->canConnect());
    EXPECT_EQ(control->connectStatus(), "Connected. Bootloader: 012A, Device ID: BEEF, Soft: 07");
    EXPECT_EQ(speeds.selectedItemTitle(), "19");
    EXPECT_EQ(control->config(), 0);
    EXPECT_EQ(control->isAuto(), 0);
    EXPECT_EQ(device().requests().size(), 2u) << "showing the settings sends nothing";
    // Closing the window ends the program and sends nothing.
    control->viewDidDisappear();
    EXPECT_EQ(view.stops, 1);
    EXPECT_EQ(device().requests().size(), 2u);
}

TEST_F(MainViewControlTest, NoDeviceAsksForTheCable) {
    device().faults.silent = true;
    connect();
    EXPECT_TRUE(control->canConnect());
    EXPECT_FALSE(control->isConnected());
    EXPECT_EQ(control->connectStatus(), "Please connect the USB device");
    EXPECT_EQ(control->link(), nullptr);
}

TEST_F(MainViewControlTest, KmhChoicesAreSentInMphAndShownAgainInKmh) {
    connect();
    control->setIsKmh(1);
    const struct {
        const char* chosen;
        int sent;
        const char* selected;
    } table[] = {{"1", 1, "1"},    {"2", 1, "1"},    {"3", 2, "3"},
                 {"10", 6, "9"},   {"30", 19, "30"}, {"40", 25, "40"},
                 {"48", 30, "48"}, {"49", 30, "48"}, {"50", 30, "48"}};
    for (const auto& row : table) {
        chooseSpeed(row.chosen);
        EXPECT_EQ(device().requests()[device().requests().size() - 2][14], row.sent) << row.chosen;
        EXPECT_EQ(speeds.selectedItemTitle(), row.selected) << row.chosen;
        EXPECT_EQ(control->setStatus(), "Speed Limit is updated");
    }
    EXPECT_EQ(control->connectStatus(), "Connected. Bootloader: 012A, Device ID: BEEF, Soft: 07")
        << "the identity of connect time";
}

TEST_F(MainViewControlTest, MphChoicesAreSentAndShownUnchanged) {
    connect();
    for (int mph = 1; mph <= 30; ++mph) {
        chooseSpeed(std::to_string(mph));
        EXPECT_EQ(device().settingsRecord()[4], mph);
        EXPECT_EQ(speeds.selectedItemTitle(), std::to_string(mph));
    }
}

TEST_F(MainViewControlTest, UnitSwitchRefillsTheListAndNeverSends) {
    const std::uint8_t record[] = {7, 1, 3, 9, 30, 0};
    device().setSettingsRecord(record);
    connect();
    const auto sent = device().requests().size();
    control->setIsKmh(1);
    EXPECT_EQ(control->maxSpeed(), 50);
    EXPECT_EQ(speeds.titles(), titles(1, 50));
    EXPECT_EQ(speeds.selectedItemTitle(), "48");
    control->setIsKmh(0);
    EXPECT_EQ(speeds.titles(), titles(1, 30));
    EXPECT_EQ(speeds.selectedItemTitle(), "30");
    loop.runUntilIdle();
    EXPECT_EQ(device().requests().size(), sent);
    EXPECT_EQ(control->setStatus(), "");
}

TEST_F(MainViewControlTest, SettingTheStoredValueSendsNothing) {
    connect();
    const auto sent = device().requests().size();
    view.announced.clear();
    control->setIsAuto(0);
    control->setConfig(0);
    control->setConfig(7);
    control->setConfig(-1);
    loop.runUntilIdle();
    EXPECT_EQ(device().requests().size(), sent);
    EXPECT_EQ(control->setStatus(), "");
    // Every setter call is announced, also when nothing changed.
    EXPECT_EQ(view.announced, (std::vector<Property>{Property::isAuto, Property::config,
                                                     Property::config, Property::config}));
}

TEST_F(MainViewControlTest, WriteKeepsTheSettingsDisabledUntilItEnds) {
    connect();
    control->setIsAuto(1);
    EXPECT_EQ(control->setStatus(), "Updating Auto ... please wait ...");
    const Duration start = loop.now();
    loop.runUntil([&] { return control->isEnabled(); });
    EXPECT_EQ(loop.now() - start, Duration{400}) << "the write's wait and the read-back's";
    EXPECT_EQ(control->setStatus(), "Auto is updated");
    EXPECT_EQ(control->isAuto(), 1);
    EXPECT_EQ(device().settingsRecord()[5], 1);

    control->setConfig(2);
    loop.runUntil([&] { return control->isEnabled(); });
    EXPECT_EQ(control->setStatus(), "Config is updated");
    EXPECT_EQ(control->config(), 2);
}

TEST_F(MainViewControlTest, FailedWriteSaysSoAndEnablesAgain) {
    connect();
    device().faults.silent = true;
    control->setConfig(1);
    const Duration start = loop.now();
    loop.runUntil([&] { return control->isEnabled(); });
    EXPECT_EQ(loop.now() - start, Duration{200});
    EXPECT_EQ(control->setStatus(), "Could not set Config");
    // The link keeps the value it tried to write: choosing it again sends nothing.
    const auto sent = device().requests().size();
    control->setConfig(1);
    EXPECT_EQ(device().requests().size(), sent);
}

TEST_F(MainViewControlTest, WriteEchoedButNotKeptIsAFailureAndShowsWhatTheDeviceHolds) {
    connect();
    device().faults.refuseWrites = true;
    const auto sent = device().requests().size();
    control->setConfig(2);
    loop.runUntil([&] { return control->isEnabled(); });
    EXPECT_EQ(control->setStatus(), "Could not set Config");
    EXPECT_EQ(control->config(), 0) << "the device kept its first choice";
    control->setIsAuto(1);
    loop.runUntil([&] { return control->isEnabled(); });
    EXPECT_EQ(control->setStatus(), "Could not set Auto");
    EXPECT_EQ(control->isAuto(), 0);
    view.announced.clear();
    chooseSpeed("12");
    EXPECT_EQ(control->setStatus(), "Could not set Speed Limit");
    EXPECT_EQ(speeds.selectedItemTitle(), "19");
    EXPECT_EQ(std::count(view.announced.begin(), view.announced.end(), Property::config), 1)
        << "the controls are told to show the device's record again";
    loop.runUntilIdle();
    EXPECT_EQ(device().requests().size(), sent + 6) << "three writes, three read-backs, no more";
}

TEST_F(MainViewControlTest, UnofferedConfigModeIsWrittenAsTheFirstChoiceAtConnect) {
    const std::uint8_t record[] = {7, 3};
    device().setSettingsRecord(record);
    std::vector<std::string> statuses;
    connect();
    EXPECT_EQ(control->config(), 0);
    EXPECT_EQ(control->setStatus(), "Updating Config ... please wait ...");
    loop.runUntil([&] { return control->isEnabled(); });
    EXPECT_EQ(control->setStatus(), "Config is updated");
    EXPECT_EQ(device().settingsRecord()[1], 1);
}

TEST_F(MainViewControlTest, LostDeviceResetsOnlyAfterOk) {
    connect();
    controller().unplug();
    EXPECT_EQ(view.openAlert(), std::optional<std::string>("The device is disconnected"));
    EXPECT_EQ(view.alerts.front().buttons, std::vector<std::string>{"OK"});
    loop.runFor(Duration{5000});
    EXPECT_TRUE(control->isConnected());
    EXPECT_NE(control->link(), nullptr);
    view.answer();
    EXPECT_FALSE(control->isConnected());
    EXPECT_TRUE(control->canConnect());
    EXPECT_EQ(control->link(), nullptr);
    EXPECT_EQ(ports.livePorts(), 0u);
}

TEST_F(MainViewControlTest, DisconnectReturnsToMphAndIsTheSameTwice) {
    connect();
    control->setIsKmh(1);
    control->onDisconnect();
    EXPECT_EQ(control->isKmh(), 0);
    EXPECT_EQ(speeds.titles(), titles(1, 30));
    EXPECT_EQ(control->connectStatus(), "");
    EXPECT_TRUE(control->canConnect());
    EXPECT_EQ(ports.openPorts(), 0u);
    view.announced.clear();
    control->resetGUI();
    const auto once = view.announced;
    view.announced.clear();
    control->resetGUI();
    EXPECT_EQ(view.announced, once);
    EXPECT_TRUE(control->canConnect());
    EXPECT_EQ(speeds.titles(), titles(1, 30));
}

TEST_F(MainViewControlTest, DisconnectSendsNothingWhateverTheLinkHolds) {
    connect();
    // A read-back with a wrong header leaves configMode 3, which the window does not offer, in
    // the link's record.
    device().faults.unanswered = {CommandCode::ReadEprom};
    DeviceSettings reply;
    reply.header = CommandTable[kWriteSettingsEntry];
    reply.configMode = 3;
    loop.schedule(Duration{250}, [&] { controller().transmit(reply.bytes()); });
    control->setIsAuto(1);
    loop.runUntil([&] { return control->isEnabled(); });
    EXPECT_EQ(control->setStatus(), "Could not set Auto");
    device().faults = {};
    const auto sent = device().requests().size();
    control->onDisconnect();
    loop.runUntilIdle();
    EXPECT_EQ(device().requests().size(), sent);
    EXPECT_TRUE(control->isEnabled());
    connect();
    loop.runUntilIdle();
    EXPECT_TRUE(control->isEnabled()) << "the settings are open again after a reconnect";
}

TEST_F(MainViewControlTest, ControllerGoneBeforeDiscoveryEndsIsNotReached) {
    control->onConnect();
    loop.runFor(Duration{500});
    control.reset();
    loop.runUntilIdle();
    EXPECT_EQ(ports.livePorts(), 0u);
}

}  // namespace
}  // namespace korvane::testing
