// The window under Qt's offscreen platform, on virtual time against the demo's ports: its controls
// follow the controller, and only a user's choice reaches it.
#include <gtest/gtest.h>

#include <QTest>
#include <QtWidgets>
#include <stdexcept>

#include "app/window/MainWindow.h"
#include "platform/VirtualRunLoop.h"
#include "sim/DemoPorts.h"

namespace korvane::testing {
namespace {

const QString kFirmware = QStringLiteral(KORVANE_SOURCE_DIR "/examples/demo-firmware.hex");

// Chosen in the open list as a user does: the item typed, then Enter.
void choose(QWidget& list, const QString& title) {
    static_cast<QComboBox&>(list).showPopup();
    QTest::keyClicks(static_cast<QComboBox&>(list).view(), title);
    QTest::keyClick(static_cast<QComboBox&>(list).view(), Qt::Key_Return);
}

struct MainWindowTest : ::testing::Test {
    MainWindowTest() { addDemoDevices(ports); }

    // A missing widget fails the test, not the whole program.
    template <typename T = QWidget>
    T& widget(const char* name) {
        T* found = window.findChild<T*>(name);
        return found ? *found : throw std::runtime_error(std::string("no widget ") + name);
    }
    void click(const char* name) { widget<QAbstractButton>(name).click(); }
    SimulatedDevice& port() { return *ports.device(kDemoControllerPath); }
    std::size_t requests() { return port().controller.requests().size(); }
    void until(bool (MainViewControl::*state)() const) {
        loop.runUntil([&] { return (window.control().*state)(); });
    }
    void settle() { until(&MainViewControl::isEnabled); }
    void connect() {
        click("connectButton");
        until(&MainViewControl::isConnected);
    }
    // The newest open alert that says `text`, or none.
    QMessageBox* alert(const QString& text = {}) {
        QApplication::processEvents();
        QMessageBox* newest = nullptr;
        for (QMessageBox* box : window.findChildren<QMessageBox*>()) {
            newest = box->isVisible() && box->text().startsWith(text) ? box : newest;
        }
        return newest;
    }
    // Presses button `button` of the alert saying `text`; -1 closes it without a button.
    void press(const QString& text, int button = 0) {
        QMessageBox* box = alert(text);
        ASSERT_NE(box, nullptr) << text.toStdString();
        EXPECT_EQ(box->windowModality(), Qt::WindowModal) << "a sheet on the window";
        button < 0 ? box->reject() : box->buttons()[button]->click();
    }
    // Presses `button`: the panel it opens, a sheet on the window.
    QFileDialog* openPanel(const char* button) {
        click(button);
        QFileDialog* panel = window.findChild<QFileDialog*>();
        EXPECT_EQ(panel ? panel->windowModality() : Qt::NonModal, Qt::WindowModal);
        return panel;
    }
    void updateFromPanel() {
        answer(openPanel("firmwareButton"), kFirmware);
        press("Update firmware");
    }
    static void answer(QFileDialog* panel, const QString& file) {
        ASSERT_NE(panel, nullptr);
        panel->selectFile(file);
        QMetaObject::invokeMethod(panel, "accept");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    // What the settings controls show.
    std::string settingsShown() {
        const auto configs = widget("configChoices").findChildren<QRadioButton*>();
        const auto chosen = std::ranges::find_if(configs, &QRadioButton::isChecked);
        return "auto " + std::to_string(widget<QCheckBox>("autoCheck").isChecked()) + ", config " +
               std::to_string(chosen - configs.begin() + 1) +
               (widget<QRadioButton>("kmhRadio").isChecked() ? ", km/h " : ", mph ") +
               widget<QComboBox>("speedCombo").currentText().toStdString();
    }
    // Which controls take a click (1 or 0, in this order), and the search indicator.
    std::string enabledControls() {
        std::string flags;
        for (const char* name :
             {"connectButton", "disconnectButton", "autoCheck", "configChoices", "unitChoices",
              "speedCombo", "firmwareButton", "saveSettingsButton", "loadSettingsButton"}) {
            flags += widget(name).isEnabled() ? '1' : '0';
        }
        return flags + (widget("searchIndicator").isVisibleTo(&window) ? '1' : '0');
    }

    VirtualRunLoop loop;
    SimulatedPortManager ports;
    RunLoop::Scope loopScope{loop};
    ORSSerialPortManager::Scope portsScope{ports};
    MainWindow window;
};

using Step = void (*)(MainWindowTest&);

// clang-format off
// A walk through the window's states, the controller holding 31 mph (49 km/h, none in mph): after each step,
// the controls that take a click, the start of what the settings or firmware status says (what has ended, never
// "please wait" for it), what the settings show; the last are choices the silent controller never confirms.
const struct { const char* state; Step step; const char* enabled; const char* said; const char* shown; } kWalk[] = {
    {"opened",          [](MainWindowTest&) {},                                                         "1000000000", "", ""},
    {"none answering",  [](MainWindowTest& t) { t.click("connectButton"); t.until(&MainViewControl::canConnect); }, "1000000000", "", ""},
    {"searching",       [](MainWindowTest& t) { t.port().controller.faults = {}; t.click("connectButton"); t.loop.runFor(Duration{700}); }, "0000000001", "", ""},
    {"connected",       [](MainWindowTest& t) { t.until(&MainViewControl::isConnected); },              "0111111110", "", "auto 0, config 1, mph "},
    {"writing",         [](MainWindowTest& t) { t.click("autoCheck"); },                                "0100000000", "Updating Auto", ""},
    {"written",         [](MainWindowTest& t) { t.settle(); },                                          "0111111110", "Auto is updated", "auto 1, config 1, mph "},
    {"stopped",         [](MainWindowTest& t) { t.port().controller.faults.refuseRequest = t.requests() + 6; t.updateFromPanel(); t.loop.runFor(Duration{3000}); }, "0100001000", "Could not update firmware", ""},
    {"updating",        [](MainWindowTest& t) { t.updateFromPanel(); t.loop.runFor(Duration{1200}); },  "0000000000", "Updating firmware", ""},
    {"lost mid-update", [](MainWindowTest& t) { t.port().unplug(); },                                   "0000000000", "Firmware update interrupted", ""},
    {"reset by OK",     [](MainWindowTest& t) { t.press("The device is disconnected"); },                                      "1000000000", "Firmware update interrupted", ""},
    {"connected again", [](MainWindowTest& t) { t.connect(); },                                         "0111111110", "", ""},
    {"lost mid-write",  [](MainWindowTest& t) { t.click("autoCheck"); t.port().unplug(); },             "0100000000", "Auto was being written", ""},
    {"reset again",     [](MainWindowTest& t) { t.press("The device is disconnected"); },                                      "1000000000", "Auto was being written", ""},
    {"silent",          [](MainWindowTest& t) { t.connect(); t.port().controller.faults.silent = true; }, "0111111110", "", "auto 0, config 1, mph "},
    {"auto refused",    [](MainWindowTest& t) { t.click("autoCheck"); t.settle(); },                    "0111111110", "Could not set Auto", "auto 0, config 1, mph "},
    {"config refused",  [](MainWindowTest& t) { t.click("configChoice3"); t.settle(); },                "0111111110", "Could not set Config", "auto 0, config 1, mph "},
    {"speed refused",   [](MainWindowTest& t) { choose(t.widget("speedCombo"), "12"); t.settle(); },    "0111111110", "Could not set Speed", "auto 0, config 1, mph "},
    {"km/h refused",    [](MainWindowTest& t) { t.click("kmhRadio"); choose(t.widget("speedCombo"), "30"); t.settle(); }, "0111111110", "Could not set Speed", "auto 0, config 1, km/h 49"},
};
// clang-format on

TEST_F(MainWindowTest, ControlsFollowTheControllerTheBarIsStillWhenIdleAndRefusalsAreUndone) {
    const std::uint8_t held[] = {7, 1, 3, 9, 31, 0};
    port().controller.setSettingsRecord(held);
    port().controller.faults.silent = true;  // none answers the first search
    const MainViewControl& c = window.control();
    for (const auto& at : kWalk) {
        at.step(*this);
        SCOPED_TRACE(at.state);
        EXPECT_EQ(enabledControls(), at.enabled);
        EXPECT_TRUE(c.setStatus().starts_with(at.said) || c.firmwareStatus().starts_with(at.said));
        EXPECT_TRUE(*at.shown == '\0' || settingsShown() == at.shown) << settingsShown();
        // Every label shows its text; the bar is never Qt's busy bar.
        for (const auto& [label, text] : {std::pair{"connectStatusLabel", c.connectStatus()},
                                          {"setStatusLabel", c.setStatus()},
                                          {"connectDetailLabel", c.connectDetail()},
                                          {"firmwareStatusLabel", c.firmwareStatus()},
                                          {"firmwareDetailLabel", c.firmwareDetail()}}) {
            EXPECT_EQ(widget<QLabel>(label).text().toStdString(), text) << label;
        }
        const auto& bar = widget<QProgressBar>("firmwareProgress");
        EXPECT_LT(bar.minimum(), bar.maximum());
    }
}

// clang-format off
// Gestures over the controls that write, and the writes each makes: only a choice writes, the
// speed list's in its open list; the buttons' choices are a click or Space (wheel, keys: nothing).
const struct { const char* control; void (*gesture)(QWidget&); std::size_t writes; } kGestures[] = {
    {"speedCombo",    [](QWidget& w) { QWheelEvent down({5, 5}, w.mapToGlobal(QPointF(5, 5)), {}, {0, -120}, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false); QApplication::sendEvent(&w, &down); }, 0},
    {"speedCombo",    [](QWidget& w) { QTest::keyClicks(&w, "25"); },         0},
    {"speedCombo",    [](QWidget& w) { choose(w, "25"); },                    1},
    {"autoCheck",     [](QWidget& w) { QTest::keyClick(&w, Qt::Key_Space); }, 1},
    {"configChoice2", [](QWidget& w) { QTest::keyClick(&w, Qt::Key_Space); }, 1},
};
// clang-format on

TEST_F(MainWindowTest, OnlyAChoiceWrites) {
    connect();
    for (const auto& row : kGestures) {
        const std::string before = settingsShown();
        const std::size_t sent = requests();
        row.gesture(widget(row.control));
        settle();
        // A write and its read-back; what nothing wrote still shows.
        EXPECT_EQ((requests() - sent) / 2, row.writes) << row.control;
        EXPECT_EQ(settingsShown() == before, row.writes == 0) << row.control;
    }
    EXPECT_EQ(settingsShown(), "auto 1, config 2, mph 25");
}

TEST_F(MainWindowTest, AnUpdateShowsTimeLeftOnlyWhileRecordsAreProgrammed) {
    connect();
    QFileDialog* panel = openPanel("firmwareButton");
    window.control().setIsAuto(1);  // as if clicked: a write that ends opens no second panel
    settle();
    EXPECT_FALSE(widget("firmwareButton").isEnabled()) << "while its panel is open";
    answer(panel, kFirmware);
    // The question closed without a button is Cancel: nothing is sent.
    const std::size_t sent = requests();
    press("Update firmware from file Software version: 08?", -1);
    loop.runFor(Duration{3000});
    EXPECT_EQ(requests(), sent);
    // Stopped at a record well after the first 2 s; the next update's time left is its own.
    port().controller.faults.refuseRequest = sent + 150;
    updateFromPanel();
    loop.runUntil([&] { return !window.control().isUpdateRunning(); });
    port().controller.faults = {};
    updateFromPanel();
    const auto& bar = widget<QProgressBar>("firmwareProgress");
    for (const auto& [at, text] :
         {std::pair(500, "^[0-9]+%$"), {700, "^5%$"}, {2100, "^56% - 0:02 left$"}}) {
        loop.runFor(Duration{at});
        EXPECT_TRUE(bar.text().contains(QRegularExpression(text))) << bar.text().toStdString();
    }
    for (int i = 0; i < 400 && alert("The device is rebooting") == nullptr; ++i) {
        loop.runFor(Duration{50});
        const bool programming = window.control().updateStage() == UpdateStage::programming;
        EXPECT_TRUE(bar.text().contains(QRegularExpression(
            programming ? "^[0-9]+%( - (?!0:00 )[0-9]+:[0-9]{2} left)?$" : "^[0-9]+%$")))
            << bar.text().toStdString();
    }
    EXPECT_EQ(bar.text(), "100%");
    EXPECT_EQ(bar.value(), bar.maximum());
}

// clang-format off
// A panel answered after the window moved on: for a link that has gone it does nothing, and what
// cannot run now says why.
const struct { const char* button; Step meanwhile; const char* said; } kLate[] = {
    {"firmwareButton",     [](MainWindowTest& t) { t.port().unplug(); t.press("The device is disconnected"); },              ""},
    {"firmwareButton",     [](MainWindowTest& t) { t.port().unplug(); t.press("The device is disconnected"); t.connect(); }, ""},
    {"saveSettingsButton", [](MainWindowTest& t) { t.port().unplug(); t.press("The device is disconnected"); },              ""},
    {"loadSettingsButton", [](MainWindowTest& t) { t.port().unplug(); t.press("The device is disconnected"); t.connect(); }, ""},
    {"saveSettingsButton", [](MainWindowTest& t) { t.window.control().setIsAuto(1); }, "Could not save the settings to %1: a setting is being written"},
};
// clang-format on

TEST_F(MainWindowTest, SettingsGoToAFileAndBackAndAPanelAnswersOnlyForItsLink) {
    connect();
    const QTemporaryDir folder;
    const QString saved = folder.filePath("bike.json");
    answer(openPanel("saveSettingsButton"), saved);
    click("configChoice3");
    settle();
    answer(openPanel("loadSettingsButton"), saved);
    settle();
    EXPECT_EQ(settingsShown(), "auto 0, config 1, mph 19");
    port().controller.deviceId = {0x12, 0x34};
    click("disconnectButton");
    connect();
    answer(openPanel("loadSettingsButton"), saved);
    press(saved + " holds the settings of device BEEF, not of this controller (1234)", 1);
    const QString late = folder.filePath("late.json");
    for (const auto& row : kLate) {
        SCOPED_TRACE(row.button);
        const QString name = row.button;
        QFileDialog* panel = openPanel(row.button);
        row.meanwhile(*this);
        const QString before = widget<QLabel>("setStatusLabel").text();
        const std::size_t sent = requests();
        answer(panel, name.startsWith("save") ? late : name.startsWith("load") ? saved : kFirmware);
        EXPECT_EQ(alert(), nullptr) << "no question";
        EXPECT_EQ(requests(), sent);
        EXPECT_EQ(widget<QLabel>("setStatusLabel").text(),
                  *row.said ? QString(row.said).arg(late) : before);
        EXPECT_FALSE(QFileInfo::exists(late));
        settle();
        EXPECT_EQ(widget("firmwareButton").isEnabled(), window.control().isConnected());
        if (!window.control().isConnected()) {
            connect();
        }
    }
}

TEST_F(MainWindowTest, FastTransfersForThisRunTheLogOnRequestAndClosingEndsTheProgram) {
    click("fastCheck");
    connect();
    EXPECT_LT(loop.now(), Duration{100}) << "no second for the open check, no whole budgets";
    EXPECT_TRUE(MainWindow(true).findChild<QCheckBox*>("fastCheck")->isChecked()) << "--fast";
    // The log, for a bug report: shown when asked for, the lines of --verbose.
    const auto& panel = widget<QPlainTextEdit>("logText");
    click("logButton");
    EXPECT_TRUE(panel.toPlainText().contains(QRegularExpression(
        "\\n[0-9:.]{12} got eprom: Bootloader: 012A, Device ID: BEEF, Soft: 07(\\n|$)")));
    click("copyLogButton");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), panel.toPlainText());
    // The controller ends the program, not Qt's quit on the last window closed (or a timeout).
    QApplication::setQuitOnLastWindowClosed(false);
    window.show();
    QTimer::singleShot(0, &window, [this] { window.close(); });
    QTimer::singleShot(5000, &window, [] { QApplication::exit(99); });
    EXPECT_EQ(QApplication::exec(), 0);
    QApplication::setQuitOnLastWindowClosed(true);
}

}  // namespace
}  // namespace korvane::testing

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
