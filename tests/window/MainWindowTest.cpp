// The window under Qt's offscreen platform, on virtual time against the demo's ports.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <utility>
#include <vector>

#include <sys/stat.h>

#include <stdexcept>

#include "app/SettingsFile.h"
#include "app/window/MainWindow.h"
#include "platform/VirtualRunLoop.h"
#include "sim/DemoPorts.h"
#include "tests/support/HexImage.h"
#include "tests/support/LogCapture.h"

namespace korvane::testing {
namespace {

class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest() { addDemoDevices(ports); }

    // A missing widget fails the test, not the whole program.
    template <typename T>
    T& widget(const char* name) {
        T* found = window.findChild<T*>(name);
        if (found == nullptr) {
            throw std::runtime_error(std::string("the window has no widget ") + name);
        }
        return *found;
    }
    QString label(const char* name) { return widget<QLabel>(name).text(); }
    bool enabled(const char* name) { return widget<QWidget>(name).isEnabled(); }

    // Runs until the write under way has ended.
    void settle() {
        loop.runUntil([&] { return window.control().isEnabled(); });
    }
    // Picks `speed` from the list as a user does, and waits for its write.
    void pickSpeed(const QString& speed) {
        auto& speeds = widget<QComboBox>("speedCombo");
        speeds.setCurrentText(speed);
        emit speeds.activated(speeds.currentIndex());
        settle();
    }

    void connect() {
        widget<QPushButton>("connectButton").click();
        loop.runUntil(
            [&] { return window.control().isConnected() || window.control().canConnect(); });
    }

    // Presses `button` and picks `file` in the panel it opens.
    void choose(const char* button, const QString& file) {
        widget<QPushButton>(button).click();
        QFileDialog* panel = window.findChild<QFileDialog*>();
        ASSERT_NE(panel, nullptr);
        EXPECT_TRUE(panel->nameFilters().front().endsWith("(*.json)"));
        if (panel->fileMode() == QFileDialog::ExistingFile && !QFileInfo::exists(file)) {
            // The panel would say so in a modal box of its own, and the test would hang.
            panel->reject();
            FAIL() << file.toStdString() << " does not exist";
        }
        panel->selectFile(file);
        QMetaObject::invokeMethod(panel, "accept");
        QApplication::processEvents();
    }

    QMessageBox* openAlert() {
        QApplication::processEvents();
        return window.findChild<QMessageBox*>();
    }

    // Changes a settings file as a user with an editor would: each `from` becomes its `to`.
    static void edit(const QString& path,
                     const std::vector<std::pair<QByteArray, QByteArray>>& changes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        QByteArray text = file.readAll();
        for (const auto& [from, to] : changes) {
            text.replace(from, to);
        }
        file.resize(0);
        file.write(text);
    }

    // Confirms an update from the demo firmware, as if chosen in the file panel.
    void updateFromDemoFirmware() {
        QFile file(QStringLiteral(KORVANE_SOURCE_DIR "/examples/demo-firmware.hex"));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray content = file.readAll();
        window.control().loadDataFile(
            ByteView(reinterpret_cast<const std::uint8_t*>(content.data()), content.size()));
        QMessageBox* question = openAlert();
        ASSERT_NE(question, nullptr);
        question->buttons().front()->click();
    }

    // Loads `path` from the panel and expects the question that asks before: it, or none.
    QMessageBox* questionOnLoading(const QString& path, const std::string& doubt) {
        choose("loadSettingsButton", path);
        QMessageBox* question = openAlert();
        EXPECT_NE(question, nullptr);
        if (question != nullptr) {
            EXPECT_EQ(question->text().toStdString(),
                      path.toStdString() + " holds " + doubt + ". Load them anyway?");
        }
        return question;
    }

    // As `choose`, for a file that exists: the panel asks before it names it, and the user says
    // yes.
    void chooseReplacing(const char* button, const QString& file) {
        QTimer::singleShot(0, [] {
            auto* replace = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(replace, nullptr);
            replace->button(QMessageBox::Yes)->click();
        });
        choose(button, file);
    }

    // What the window shows: every status, and which controls are enabled or chosen.
    QStringList shown() {
        QStringList all;
        for (const char* name : {"connectStatusLabel", "connectDetailLabel", "setStatusLabel",
                                 "firmwareStatusLabel", "firmwareDetailLabel"}) {
            all << label(name);
        }
        for (const char* name :
             {"connectButton", "disconnectButton", "autoCheck", "configChoices", "unitChoices",
              "speedCombo", "firmwareButton", "saveSettingsButton", "loadSettingsButton"}) {
            all << QString("%1 %2").arg(name).arg(enabled(name));
        }
        for (const char* name : {"autoCheck", "configChoice1", "configChoice2", "configChoice3"}) {
            all << QString("%1 %2").arg(name).arg(widget<QAbstractButton>(name).isChecked());
        }
        return all << widget<QComboBox>("speedCombo").currentText();
    }

    // The open alert that says `text`, among several.
    QMessageBox* alertSaying(const QString& text) {
        QApplication::processEvents();
        for (QMessageBox* box : window.findChildren<QMessageBox*>()) {
            if (box->text().startsWith(text)) {
                return box;
            }
        }
        return nullptr;
    }

    VirtualRunLoop loop;
    SimulatedPortManager ports;
    LogCapture log;

private:
    RunLoop::Scope loopScope_{loop};
    ORSSerialPortManager::Scope portsScope_{ports};

protected:
    MainWindow window;
};

TEST_F(MainWindowTest, StartsIdleWithTheSpeedListInMph) {
    EXPECT_EQ(window.windowTitle(), "Korvane Controller configuration software");
    EXPECT_TRUE(enabled("connectButton"));
    EXPECT_FALSE(enabled("disconnectButton"));
    for (const char* name : {"autoCheck", "configChoices", "unitChoices", "speedCombo"}) {
        EXPECT_FALSE(enabled(name)) << name;
    }
    EXPECT_EQ(widget<QComboBox>("speedCombo").count(), 30);
    EXPECT_TRUE(widget<QRadioButton>("mphRadio").isChecked());
    EXPECT_EQ(label("connectStatusLabel"), "");
}

TEST_F(MainWindowTest, ConnectShowsTheDeviceAndOpensTheSettings) {
    ports.addDevice("/dev/ttyDEMO2");
    widget<QPushButton>("connectButton").click();
    loop.runFor(Duration{700});
    EXPECT_FALSE(enabled("connectButton")) << "not a second search";
    EXPECT_TRUE(widget<QWidget>("searchIndicator").isVisibleTo(&window));
    EXPECT_FALSE(enabled("disconnectButton"));
    loop.runUntil([&] { return window.control().isConnected(); });
    EXPECT_EQ(label("connectStatusLabel"),
              "Connected. Bootloader: 012A, Device ID: BEEF, Soft: 07");
    EXPECT_EQ(label("connectDetailLabel"),
              "Took /dev/ttyDEMO0; 1 more controller answered (/dev/ttyDEMO2). korvane-cli --all "
              "serves several at once.");
    EXPECT_FALSE(enabled("connectButton"));
    EXPECT_FALSE(widget<QWidget>("searchIndicator").isVisibleTo(&window));
    EXPECT_TRUE(enabled("disconnectButton"));
    // The log, for a bug report: hidden until asked for, then the lines of --verbose.
    auto& panel = widget<QPlainTextEdit>("logText");
    EXPECT_FALSE(panel.isVisibleTo(&window));
    widget<QPushButton>("logButton").click();
    EXPECT_TRUE(panel.isVisibleTo(&window));
    EXPECT_TRUE(panel.toPlainText().contains(QRegularExpression(
        "\\n[0-9:.]{12} got eprom: Bootloader: 012A, Device ID: BEEF, Soft: 07(\\n|$)")))
        << panel.toPlainText().toStdString();
    widget<QPushButton>("copyLogButton").click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), panel.toPlainText());
    for (const char* name : {"autoCheck", "configChoices", "unitChoices", "speedCombo"}) {
        EXPECT_TRUE(enabled(name)) << name;
    }
    EXPECT_EQ(widget<QComboBox>("speedCombo").currentText(), "19");
    EXPECT_TRUE(widget<QRadioButton>("configChoice1").isChecked());
    EXPECT_FALSE(widget<QCheckBox>("autoCheck").isChecked());
    EXPECT_TRUE(enabled("firmwareButton"));
}

TEST_F(MainWindowTest, ChangingASettingShowsItsProgressAndOutcome) {
    connect();
    widget<QCheckBox>("autoCheck").click();
    EXPECT_EQ(label("setStatusLabel"), "Updating Auto ... please wait ...");
    EXPECT_FALSE(enabled("autoCheck"));
    EXPECT_FALSE(enabled("speedCombo"));
    settle();
    EXPECT_EQ(label("setStatusLabel"), "Auto is updated");
    EXPECT_TRUE(widget<QCheckBox>("autoCheck").isChecked());
    EXPECT_TRUE(enabled("autoCheck"));

    // Echoed but not kept: the choice jumps back to what the device holds.
    ports.device(kDemoControllerPath)->controller.faults.refuseWrites = true;
    widget<QRadioButton>("configChoice3").click();
    settle();
    EXPECT_EQ(label("setStatusLabel"), "Could not set Config");
    EXPECT_TRUE(widget<QRadioButton>("configChoice1").isChecked());
    widget<QCheckBox>("autoCheck").click();
    settle();
    EXPECT_EQ(label("setStatusLabel"), "Could not set Auto");
    EXPECT_TRUE(widget<QCheckBox>("autoCheck").isChecked()) << "the device kept it on";
    pickSpeed("12");
    EXPECT_EQ(label("setStatusLabel"), "Could not set Speed Limit");
    EXPECT_EQ(widget<QComboBox>("speedCombo").currentText(), "19");
}

TEST_F(MainWindowTest, UnitSwitchRefillsTheSpeedList) {
    connect();
    widget<QRadioButton>("kmhRadio").click();
    EXPECT_TRUE(widget<QRadioButton>("kmhRadio").isChecked());
    EXPECT_EQ(widget<QComboBox>("speedCombo").count(), 50);
    EXPECT_EQ(widget<QComboBox>("speedCombo").currentText(), "30");
    widget<QPushButton>("disconnectButton").click();
    EXPECT_EQ(widget<QComboBox>("speedCombo").count(), 30);
    EXPECT_TRUE(widget<QRadioButton>("mphRadio").isChecked());
    EXPECT_TRUE(enabled("connectButton"));
}

TEST_F(MainWindowTest, LostDeviceIsAnAlertAndOkResets) {
    connect();
    ports.device(kDemoControllerPath)->unplug();
    QMessageBox* alert = openAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->text(), "The device is disconnected");
    EXPECT_EQ(alert->windowModality(), Qt::WindowModal);
    EXPECT_TRUE(enabled("disconnectButton")) << "nothing changes before OK";
    alert->buttons().front()->click();
    EXPECT_TRUE(enabled("connectButton"));
    EXPECT_FALSE(enabled("disconnectButton"));
    EXPECT_EQ(label("connectStatusLabel"), "");
}

TEST_F(MainWindowTest, FirmwareUpdateFromTheFilePanelWithProgress) {
    connect();
    widget<QPushButton>("firmwareButton").click();
    EXPECT_FALSE(enabled("firmwareButton")) << "while the panel is open";
    widget<QCheckBox>("autoCheck").click();
    settle();
    EXPECT_FALSE(enabled("firmwareButton")) << "a write that ends opens no second panel";
    QFileDialog* panel = window.findChild<QFileDialog*>();
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(panel->nameFilters().front().endsWith("(*.hex)"));
    panel->selectFile(QStringLiteral(KORVANE_SOURCE_DIR "/examples/demo-firmware.hex"));
    QMetaObject::invokeMethod(panel, "accept");
    QMessageBox* question = openAlert();
    ASSERT_NE(question, nullptr);
    EXPECT_EQ(question->text(), "Update firmware from file Software version: 08?");
    ASSERT_EQ(question->buttons().size(), 2);
    EXPECT_FALSE(widget<QProgressBar>("firmwareProgress").isTextVisible()) << "no 0% before";
    question->buttons().front()->click();

    loop.runFor(Duration{1200});
    EXPECT_EQ(label("firmwareStatusLabel"), "Updating firmware. Please wait...");
    EXPECT_FALSE(enabled("firmwareButton"));
    EXPECT_FALSE(enabled("disconnectButton")) << "an update ends by itself";
    EXPECT_FALSE(enabled("autoCheck"));
    auto& progress = widget<QProgressBar>("firmwareProgress");
    EXPECT_EQ(progress.maximum(), 103);
    EXPECT_GT(progress.value(), 0);
    EXPECT_LT(progress.value(), 103);
    EXPECT_EQ(progress.text().toStdString(), "5%")
        << "no time left in the first 2 s of programming";
    loop.runFor(Duration{2100});
    EXPECT_EQ(progress.text().toStdString(), "56% - 0:02 left");

    // The restarting controller leaves the bus, then the notice comes; the user answers the
    // newest alert first. The loss after the restart is no interruption.
    loop.runUntil([&] { return alertSaying("The device is rebooting") != nullptr; });
    QMessageBox* notice = alertSaying("The device is rebooting");
    ASSERT_NE(notice, nullptr);
    EXPECT_EQ(notice->text(), "The device is rebooting. Click Connect button to reconnect");
    EXPECT_EQ(progress.value(), 103);
    notice->buttons().front()->click();
    QMessageBox* lost = alertSaying("The device is disconnected");
    ASSERT_NE(lost, nullptr);
    lost->buttons().front()->click();
    EXPECT_TRUE(enabled("connectButton"));
    EXPECT_EQ(label("firmwareStatusLabel"), "");
}

TEST_F(MainWindowTest, SettingsAreSavedToAFileAndLoadedBack) {
    EXPECT_FALSE(enabled("saveSettingsButton"));
    EXPECT_FALSE(enabled("loadSettingsButton"));
    connect();
    const QTemporaryDir folder;
    const QString path = folder.filePath("bike.json");
    choose("saveSettingsButton", path);
    EXPECT_EQ(label("setStatusLabel").toStdString(), "Settings saved to " + path.toStdString());
    widget<QRadioButton>("configChoice3").click();
    settle();

    choose("loadSettingsButton", path);
    EXPECT_FALSE(enabled("loadSettingsButton")) << "while the settings are written";
    settle();
    EXPECT_EQ(label("setStatusLabel"), "Settings loaded");
    EXPECT_TRUE(widget<QRadioButton>("configChoice1").isChecked());

    // Another controller's file asks first.
    ports.device(kDemoControllerPath)->controller.deviceId = {0x12, 0x34};
    widget<QPushButton>("disconnectButton").click();
    connect();
    questionOnLoading(path, "the settings of device BEEF, not of this controller (1234)");
}

TEST_F(MainWindowTest, SettingsFilesHoldWhatTheControllerHoldsAndNeverHang) {
    connect();
    const QTemporaryDir folder;
    const QString path = folder.filePath("bike.json");
    // A write that goes unanswered leaves the value sent in the link's record.
    SimulatedController& device = ports.device(kDemoControllerPath)->controller;
    device.faults.unanswered = {CommandCode::WriteEprom};
    pickSpeed("12");
    device.faults.unanswered.clear();
    choose("saveSettingsButton", path);
    EXPECT_EQ(label("setStatusLabel"), "Reading the settings ... please wait ...");
    settle();
    EXPECT_EQ(label("setStatusLabel").toStdString(), "Settings saved to " + path.toStdString());
    EXPECT_EQ(readSettingsFile(path.toStdString()).settings->settings.speedLimitMph, 19);

    const QString pipe = folder.filePath("pipe.json");
    ASSERT_EQ(::mkfifo(pipe.toLocal8Bit().constData(), 0600), 0);
    choose("loadSettingsButton", pipe);
    EXPECT_EQ(label("setStatusLabel").toStdString(),
              "Invalid settings file: " + pipe.toStdString() +
                  ": is not a regular file (a device, a pipe or a socket)");
    chooseReplacing("saveSettingsButton", pipe);
    EXPECT_EQ(label("setStatusLabel").toStdString(),
              "Could not save the settings to " + pipe.toStdString() +
                  ": is not a regular file (a device, a pipe or a socket)");
    EXPECT_TRUE(QFileInfo(pipe).isFile() == false && QFileInfo(pipe).exists());

    // A speed the list cannot show is written only when the user says so.
    edit(path, {{"\"speedLimitMph\": 19", "\"speedLimitMph\": 45"}});
    QMessageBox* question = questionOnLoading(
        path, "a speed limit of 45 mph, which the speed list cannot show (1 to 30)");
    ASSERT_NE(question, nullptr);
    question->buttons().front()->click();
    loop.runUntil([&] { return !window.control().isRestoring(); });
    EXPECT_EQ(label("setStatusLabel"), "Settings loaded");
    EXPECT_EQ(device.settingsRecord()[4], 45);
}

TEST_F(MainWindowTest, ASaveThatFailsSaysWhyAndLeavesTheOldFile) {
    connect();
    SimulatedController& device = ports.device(kDemoControllerPath)->controller;
    const QTemporaryDir folder;
    const QString kept = folder.filePath("kept.json");
    const QString moved = folder.filePath("moved/bike.json");
    const auto write = [](const QString& path) {
        QDir().mkpath(QFileInfo(path).path());
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old");
    };
    write(kept);
    write(moved);
    // A device where no file can be made: a save that went wrong cannot replace it.
    const QString terminal = "/dev/pts/ptmx";
    const struct {
        QString path;
        // The controller does not answer when the save reads the settings again.
        bool silent;
        // What happens to the path while the save reads them.
        void (*meanwhile)(const QString& path);
        std::string problem;
    } cases[] = {
        {terminal, false, nullptr, "is not a regular file (a device, a pipe or a socket)"},
        {kept, true, nullptr, "the controller did not send its settings"},
        {moved, false,
         [](const QString& path) { QDir(QFileInfo(path).path()).removeRecursively(); },
         "No such file or directory"},
        {kept, false,
         [](const QString& path) {
             QFile::remove(path);
             QDir().mkdir(path);
         },
         "is a folder, not a file"},
    };
    for (const auto& each : cases) {
        // An unanswered write leaves the link unsure of what the controller holds: the save
        // reads the settings again first.
        device.faults.unanswered = {CommandCode::WriteEprom};
        pickSpeed("12");
        device.faults = {};
        device.faults.silent = each.silent;
        chooseReplacing("saveSettingsButton", each.path);
        EXPECT_EQ(label("setStatusLabel"), "Reading the settings ... please wait ...");
        if (each.meanwhile != nullptr) {
            each.meanwhile(each.path);
        }
        settle();
        EXPECT_EQ(
            label("setStatusLabel").toStdString(),
            "Could not save the settings to " + each.path.toStdString() + ": " + each.problem);
        device.faults = {};
        if (each.silent) {
            QFile old(kept);
            ASSERT_TRUE(old.open(QIODevice::ReadOnly));
            EXPECT_EQ(old.readAll(), "old") << "kept whole";
        }
    }
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot),
              QStringList{"kept.json"})
        << "no temporary file left behind";
}

TEST_F(MainWindowTest, TheFirmwareButtonComesBackWhenItsPanelCloses) {
    connect();
    for (const bool lost : {false, true}) {
        widget<QPushButton>("firmwareButton").click();
        EXPECT_FALSE(enabled("firmwareButton"));
        if (lost) {
            // Lost and found again while the panel is open: the button waits for the panel.
            ports.device(kDemoControllerPath)->unplug();
            QMessageBox* alert = openAlert();
            ASSERT_NE(alert, nullptr);
            alert->buttons().front()->click();
            connect();
            EXPECT_FALSE(enabled("firmwareButton"));
        }
        QFileDialog* panel = window.findChild<QFileDialog*>();
        ASSERT_NE(panel, nullptr);
        panel->reject();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(enabled("firmwareButton")) << "lost: " << lost;
        EXPECT_EQ(label("firmwareStatusLabel"), "");
    }
}

TEST_F(MainWindowTest, ALostDeviceEndsARestoreAndNothingStartsUnderItsAlert) {
    connect();
    const QTemporaryDir folder;
    const QString path = folder.filePath("bike.json");
    choose("saveSettingsButton", path);
    edit(path, {{"\"auto\": false", "\"auto\": true"}, {"\"config\": 1", "\"config\": 2"}});
    SimulatedDevice& device = *ports.device(kDemoControllerPath);

    // Lost while Auto is written: nothing more is sent, and the report waits for OK.
    choose("loadSettingsButton", path);
    EXPECT_EQ(label("setStatusLabel"), "Updating Auto ... please wait ...");
    device.unplug();
    // Every attempt to send is logged, also one to a port that is closed.
    const std::size_t sent = log.countStartingWith("Writing ");
    loop.runFor(Duration{2000});
    EXPECT_EQ(log.countStartingWith("Writing "), sent);
    EXPECT_NE(label("setStatusLabel"), "Settings not all loaded");
    QMessageBox* lost = alertSaying("The device is disconnected");
    ASSERT_NE(lost, nullptr);
    lost->buttons().front()->click();
    EXPECT_EQ(label("setStatusLabel").toStdString(),
              "Settings not all loaded:\nAuto was being written: the controller may not hold "
              "it\nNot written: Config, Speed Limit");

    // Another controller's file: its question answered only after the device is gone.
    device.controller.deviceId = {0x12, 0x34};
    connect();
    choose("loadSettingsButton", path);
    QMessageBox* question = alertSaying(path + " holds the settings of device BEEF");
    ASSERT_NE(question, nullptr);
    device.unplug();
    const std::size_t before = log.countStartingWith("Writing ");
    question->buttons().front()->click();
    loop.runFor(Duration{2000});
    EXPECT_EQ(log.countStartingWith("Writing "), before) << "nothing sent to a device gone";
    EXPECT_FALSE(window.control().isRestoring());
}

TEST_F(MainWindowTest, FailedRecordIsNamedUnderTheStatus) {
    connect();
    // Erase, then the first record's write.
    ports.device(kDemoControllerPath)->controller.faults.refuseRequest = 4;
    updateFromDemoFirmware();
    loop.runUntil([&] { return !window.control().isUpdateRunning(); });
    EXPECT_EQ(label("firmwareStatusLabel"), "Could not update firmware");
    EXPECT_EQ(label("firmwareDetailLabel"),
              "Record 2 of 103 failed (line 2, address 0x00001000): the controller's firmware is "
              "erased; flash again");
    EXPECT_TRUE(enabled("disconnectButton"));
    EXPECT_TRUE(enabled("firmwareButton")) << "a new file may be chosen";
    EXPECT_FALSE(enabled("autoCheck"));
    // The next update's time left is its own.
    loop.runFor(Duration{5000});
    updateFromDemoFirmware();
    loop.runFor(Duration{1200});
    EXPECT_EQ(widget<QProgressBar>("firmwareProgress").text().toStdString(), "5%");
}

TEST_F(MainWindowTest, TimeLeftOnlyWhileTheUpdateRuns) {
    connect();
    // A record well after the first 2 s of programming is refused.
    ports.device(kDemoControllerPath)->controller.faults.refuseRequest = 150;
    updateFromDemoFirmware();
    auto& progress = widget<QProgressBar>("firmwareProgress");
    loop.runUntil([&] { return progress.text().contains("left"); });
    loop.runUntil([&] { return !window.control().isUpdateRunning(); });
    EXPECT_EQ(label("firmwareStatusLabel"), "Could not update firmware");
    EXPECT_TRUE(progress.text().contains(QRegularExpression("^[0-9]+%$")))
        << progress.text().toStdString();
    widget<QPushButton>("disconnectButton").click();
    EXPECT_TRUE(progress.text().contains(QRegularExpression("^[0-9]+%$")))
        << progress.text().toStdString();
}

TEST_F(MainWindowTest, FastTransfersAreForThisRunAndTakenByTheNextConnect) {
    EXPECT_FALSE(widget<QCheckBox>("fastCheck").isChecked());
    widget<QCheckBox>("fastCheck").click();
    connect();
    EXPECT_TRUE(window.control().isConnected());
    EXPECT_LT(loop.now(), Duration{100}) << "no second for the open check, no whole budgets";
    const MainWindow next;
    EXPECT_FALSE(next.findChild<QCheckBox*>("fastCheck")->isChecked()) << "not remembered";
    const MainWindow fast(true);
    EXPECT_TRUE(fast.findChild<QCheckBox*>("fastCheck")->isChecked()) << "--fast";
}

TEST_F(MainWindowTest, NoControllerSaysWhyForEachPort) {
    ports.device(kDemoControllerPath)->portFaults.noAccess = true;
    connect();
    EXPECT_EQ(label("connectStatusLabel"), "Please connect the USB device");
    const QStringList lines = label("connectDetailLabel").split('\n');
    ASSERT_EQ(lines.size(), 2) << lines.join('\n').toStdString();
    EXPECT_EQ(lines[0], "/dev/ttyDEMO1: silent");
    EXPECT_TRUE(lines[1].startsWith("No permission to open /dev/ttyDEMO0"))
        << lines[1].toStdString();
    // A new search starts without the old reasons.
    ports.device(kDemoControllerPath)->portFaults.noAccess = false;
    widget<QPushButton>("connectButton").click();
    EXPECT_EQ(label("connectDetailLabel"), "");
    loop.runUntil([&] { return window.control().isConnected(); });
}

TEST_F(MainWindowTest, ClosingTheWindowEndsTheProgram) {
    // The controller ends it, not Qt's quit on the last window closed.
    QApplication::setQuitOnLastWindowClosed(false);
    window.show();
    QMetaObject::invokeMethod(
        &window, [this] { window.close(); }, Qt::QueuedConnection);
    // A program that goes on fails the test instead of hanging it.
    constexpr int kStillRunning = 99;
    QTimer patience;
    patience.setSingleShot(true);
    QObject::connect(&patience, &QTimer::timeout, [] { QApplication::exit(kStillRunning); });
    patience.start(5000);
    EXPECT_EQ(QApplication::exec(), 0);
    QApplication::setQuitOnLastWindowClosed(true);
}

// A question the window asks before it writes to the controller.
struct Question {
    const char* name;
    // How the settings file differs from what the controller may take; none: the update
    // question, for a file with records the controller has no memory for.
    std::vector<std::pair<QByteArray, QByteArray>> doubts;
    // The question, after the settings file's path.
    std::string text;
};

void PrintTo(const Question& question, std::ostream* out) {
    *out << question.name;
}

class QuestionTest : public MainWindowTest, public ::testing::WithParamInterface<Question> {};

TEST_P(QuestionTest, NoLeavesEverythingAsItWasAndYesGoesOn) {
    const Question& question = GetParam();
    SimulatedController& device = ports.device(kDemoControllerPath)->controller;
    connect();
    // Statuses a "no" must leave standing: a setting's, a refused firmware file's.
    widget<QCheckBox>("autoCheck").click();
    settle();
    std::string broken = realisticImage().file();
    broken.replace(broken.find("FA\n"), 2, "FB");
    window.control().loadDataFile(Bytes(broken.begin(), broken.end()));
    const QTemporaryDir folder;
    const QString path = folder.filePath("bike.json");
    choose("saveSettingsButton", path);
    auto changes = question.doubts;
    changes.insert(changes.end(),
                   {{"\"auto\": true", "\"auto\": false"}, {"\"config\": 1", "\"config\": 3"}});
    edit(path, changes);

    const auto ask = [&]() -> QMessageBox* {
        if (question.doubts.empty()) {
            window.control().loadDataFile(realisticImage().bytes());
        } else {
            choose("loadSettingsButton", path);
        }
        QMessageBox* box = openAlert();
        if (box != nullptr) {
            const std::string expected = question.doubts.empty()
                                             ? question.text
                                             : path.toStdString() + " holds " + question.text;
            EXPECT_EQ(box->text().toStdString(), expected);
            EXPECT_EQ(box->buttons().size(), 2);
        }
        return box;
    };
    const QStringList before = shown();
    const Bytes record(device.settingsRecord().begin(), device.settingsRecord().end());
    const std::size_t sent = device.requests().size();
    // Cancel, and the question closed without a button.
    for (const bool cancel : {true, false}) {
        QMessageBox* box = ask();
        ASSERT_NE(box, nullptr);
        if (cancel) {
            ASSERT_EQ(box->buttons().back()->text(), "Cancel");
            box->buttons().back()->click();
        } else {
            box->reject();
        }
        loop.runFor(Duration{3000});
        EXPECT_EQ(shown(), before) << "cancelled: " << cancel;
        EXPECT_EQ(device.requests().size(), sent) << "cancelled: " << cancel;
        EXPECT_EQ(Bytes(device.settingsRecord().begin(), device.settingsRecord().end()), record);
    }

    QMessageBox* box = ask();
    ASSERT_NE(box, nullptr);
    box->buttons().front()->click();
    if (question.doubts.empty()) {
        loop.runFor(Duration{1200});
        EXPECT_EQ(label("firmwareStatusLabel"), "Updating firmware. Please wait...");
        EXPECT_EQ(device.requests()[sent][1], static_cast<std::uint8_t>(CommandCode::Erase));
    } else {
        loop.runUntil([&] { return !window.control().isRestoring(); });
        EXPECT_EQ(label("setStatusLabel"), "Settings loaded");
        EXPECT_EQ(device.settingsRecord()[1], 4) << "the third configuration";
        EXPECT_EQ(device.settingsRecord()[5], 0) << "auto off";
    }
}

constexpr const char* kForeign = "the settings of device 1234, not of this controller (BEEF)";
constexpr const char* kFast = "a speed limit of 45 mph, which the speed list cannot show (1 to 30)";

INSTANTIATE_TEST_SUITE_P(
    EveryQuestion, QuestionTest,
    ::testing::Values(Question{"Update", {}, "Update firmware from file Software version: 12?"},
                      Question{"AnotherController",
                               {{"\"deviceId\": \"BEEF\"", "\"deviceId\": \"1234\""}},
                               std::string(kForeign) + ". Load them anyway?"},
                      Question{"SpeedOutsideTheList",
                               {{"\"speedLimitMph\": 19", "\"speedLimitMph\": 45"}},
                               std::string(kFast) + ". Load them anyway?"},
                      Question{"Both",
                               {{"\"deviceId\": \"BEEF\"", "\"deviceId\": \"1234\""},
                                {"\"speedLimitMph\": 19", "\"speedLimitMph\": 45"}},
                               std::string(kForeign) + ", and " + kFast + ". Load them anyway?"}),
    [](const ::testing::TestParamInfo<Question>& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace korvane::testing
