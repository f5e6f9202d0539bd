#include "app/MainViewControl.h"

#include "app/AccessHint.h"
#include "platform/ORSSerialPortManager.h"
#include "util/StringPrintf.h"

namespace korvane {

std::shared_ptr<MainViewControl> MainViewControl::create(MainView& view) {
    return std::shared_ptr<MainViewControl>(new MainViewControl(view));
}

void MainViewControl::viewDidLoad() {
    resetGUI();
}

void MainViewControl::viewDidDisappear() {
    // Closing the window ends the program; nothing is sent to the device.
    view_.stopApplication();
}

void MainViewControl::onConnect() {
    connect();
}

void MainViewControl::onDisconnect() {
    // An update always ends by itself: every wait has a budget. Letting go of the link in the
    // middle would leave the controller without firmware for no gain.
    if (!canDisconnect()) {
        return;
    }
    resetGUI();
}

void MainViewControl::resetGUI() {
    resetting_ = true;
    deviceGone_ = false;
    restoreSteps_.clear();
    restoreRunning_ = false;
    writing_.reset();
    setCanConnect(true);
    setIsEnabled(true);
    setIsConnected(false);
    setConnectStatus("");
    setConnectDetail("");
    setSetStatus("");
    setIsUpdatingFirmware(false);
    setIsUpdateRunning(false);
    setFirmwareStatus("");
    setFirmwareDetail("");
    updateStage_ = UpdateStage::none;
    setMaxSpeed(30);
    // With the link still held, this shows the device's speed in the mph list once more.
    setIsKmh(0);
    if (port) {
        port->connectionLostBlock = nullptr;
        // Cancels whatever the link still waits for: its completions never come.
        port.reset();
    }
    resetting_ = false;
}

void MainViewControl::connect() {
    ++connects_;
    setCanConnect(false);
    // What an earlier search found is no longer news.
    setConnectDetail("");
    failedProbes_.clear();
    SimpleSerial::findDevice(
        [self = weak_from_this()](std::unique_ptr<SimpleSerial> link) {
            if (const auto control = self.lock()) {
                control->connected(std::move(link));
            }
        },
        fastTransfers_ ? TransferMode::fast : TransferMode::standard,
        [self = weak_from_this()](const std::vector<PortProbe>& failed) {
            if (const auto control = self.lock()) {
                control->failedProbes_ = failed;
            }
        });
}

void MainViewControl::connectTo(std::unique_ptr<SimpleSerial> link) {
    ++connects_;
    setCanConnect(false);
    connected(std::move(link));
}

void MainViewControl::connected(std::unique_ptr<SimpleSerial> link) {
    port = std::move(link);
    if (!port) {
        setCanConnect(true);
        setConnectStatus(kNoController);
        setConnectDetail(
            whyNoController(failedProbes_, ORSSerialPortManager::sharedSerialPortManager()));
        return;
    }
    // Whatever happened during the search, a held link is never offered a second connect.
    deviceGone_ = false;
    setCanConnect(false);
    setIsConnected(true);
    setConnectStatus("Connected. " + port->identityText);
    if (const auto others = port->othersIdentified.size(); others > 0) {
        std::string paths;
        for (const std::string& path : port->othersIdentified) {
            paths += (paths.empty() ? "" : ", ") + path;
        }
        setConnectDetail(
            stringPrintf("Took %s; %zu more controller%s answered (%s). korvane-cli "
                         "--all serves several at once.",
                         port->portPath().c_str(), others, others == 1 ? "" : "s", paths.c_str()));
    }
    showGUI();
    port->connectionLostBlock = [self = weak_from_this()](bool) {
        if (const auto control = self.lock()) {
            control->deviceLost();
        }
    };
}

void MainViewControl::deviceLost() {
    deviceGone_ = true;
    // The exchange in flight ends here: its failure would come later and say less than the
    // statements below, which the window shows under the alert and again once it is reset.
    port->abandonWait();
    const std::string restored = restoreProgress();
    if (_isUpdateRunning && updateStage_ != UpdateStage::restarting) {
        endUpdate(UpdateEnd::Kind::deviceLost);
    }
    const std::string settings =
        restored.empty() ? unconfirmedWrite() : "Settings not all loaded:\n" + restored;
    const std::string update = interruptionStatement();
    if (!update.empty()) {
        setFirmwareStatus(update);
    }
    if (!settings.empty()) {
        setSetStatus(settings);
    }
    showAlertThenReset(Notice::deviceLost, kDeviceLost, connects_, update, settings);
}

void MainViewControl::showAlertAndResetGui(const std::string& message, Notice kind) {
    showAlertThenReset(kind, message, connects_);
}

void MainViewControl::showNotice(Notice kind, const std::string& message,
                                 const std::vector<std::string>& buttons,
                                 AlertCompletion completion) {
    store(notice_, kind, Property::notice);
    view_.showAlert(message, buttons, std::move(completion));
}

void MainViewControl::showAlertThenReset(Notice kind, const std::string& message,
                                         std::uint64_t connectsSoFar, const std::string& statement,
                                         const std::string& settingsStatement) {
    // The window keeps its state until the user has read the message.
    showNotice(kind, message, {"OK"},
               [self = weak_from_this(), connectsSoFar, statement, settingsStatement](int) {
                   const auto control = self.lock();
                   if (!control || control->connects_ != connectsSoFar) {
                       return;
                   }
                   control->resetGUI();
                   if (!statement.empty()) {
                       control->setFirmwareStatus(statement);
                   }
                   if (!settingsStatement.empty()) {
                       control->setSetStatus(settingsStatement);
                   }
               });
}

void MainViewControl::setFirmwareDetail(std::string value) {
    ++detailsShown_;
    store(_firmwareDetail, std::move(value), Property::firmwareDetail);
}

}  // namespace korvane
