// The settings as the window shows them: the automatic mode, the configuration choice, and the
// speed limit, which the device keeps in mph and the window shows in km/h or mph.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

#include "app/MainViewControl.h"
#include "util/StringPrintf.h"

namespace korvane {

namespace {

// The window's three configuration choices and the configMode the device stores for each.
constexpr std::array<int, 3> kConfigModes = {1, 2, 4};
constexpr int kMaxSpeedMph = 30;
constexpr int kMaxSpeedKmh = 50;
constexpr double kMphPerKmh = 0.621371;
constexpr double kKmhPerMph = 1.609344;

}  // namespace

int MainViewControl::isAuto() const {
    return hasReadyLink() ? port->settings.autoMode : 0;
}

void MainViewControl::setIsAuto(int value) {
    if (canWriteSettings() && port->settings.autoMode != value) {
        updatePort(&SimpleSerial::setAutoMode, "Auto", value);
    }
    view_.propertyChanged(Property::isAuto);
}

int MainViewControl::config() const {
    if (!hasReadyLink()) {
        return 0;
    }
    const auto found =
        std::find(kConfigModes.begin(), kConfigModes.end(), port->settings.configMode);
    // Any value the window does not offer shows as the first choice.
    return found == kConfigModes.end() ? 0 : static_cast<int>(found - kConfigModes.begin());
}

void MainViewControl::setConfig(int index) {
    const bool offered = index >= 0 && index < static_cast<int>(kConfigModes.size());
    if (canWriteSettings() && offered) {
        const int mode = kConfigModes[static_cast<std::size_t>(index)];
        if (port->settings.configMode != mode) {
            updatePort(&SimpleSerial::setConfigMode, "Config", mode);
        }
    }
    view_.propertyChanged(Property::config);
}

void MainViewControl::setIsKmh(int value) {
    _isKmh = value;
    setMaxSpeed(value != 0 ? kMaxSpeedKmh : kMaxSpeedMph);
    if (_speedPopup != nullptr) {
        _speedPopup->removeAllItems();
        for (int speed = 1; speed <= maxSpeed(); ++speed) {
            _speedPopup->addItemWithTitle(stringPrintf("%d", speed));
        }
    }
    showGUI();
    view_.propertyChanged(Property::isKmh);
}

void MainViewControl::onSpeed(SpeedPopup& sender) {
    if (!port || _isUpdateRunning || deviceGone_) {
        return;
    }
    const int chosen = std::atoi(sender.selectedItemTitle().c_str());
    const int mph = isKmh() != 0 ? static_cast<int>(std::lround(chosen * kMphPerKmh)) : chosen;
    updatePort(&SimpleSerial::setSpeedLimit, "Speed Limit", std::min(mph, kMaxSpeedMph));
}

int MainViewControl::getDeviceSpeed() const {
    const double mph = port->settings.speedLimit;
    return static_cast<int>(mph * (isKmh() != 0 ? kKmhPerMph : 1.0));
}

void MainViewControl::showGUI() {
    if (!hasReadyLink()) {
        return;
    }
    setIsAuto(port->settings.autoMode);
    // A configMode the window does not offer reads as the first choice, and is written as such.
    setConfig(config());
    selectDeviceSpeed();
}

void MainViewControl::announceSettings() {
    view_.propertyChanged(Property::isAuto);
    view_.propertyChanged(Property::config);
    selectDeviceSpeed();
}

void MainViewControl::readHeldSettings(std::function<void(bool read)> done) {
    if (!canEditSettings()) {
        done(false);
        return;
    }
    if (port->settingsAsRead()) {
        done(true);
        return;
    }
    setSetStatus("Reading the settings ... please wait ...");
    setIsEnabled(false);
    // The link belongs to this controller: destroying it cancels this completion.
    port->readSettings([this, done = std::move(done)](bool read) {
        setIsEnabled(true);
        announceSettings();
        done(read);
    });
}

void MainViewControl::selectDeviceSpeed() {
    if (_speedPopup != nullptr && hasReadyLink()) {
        _speedPopup->selectItemWithTitle(stringPrintf("%d", getDeviceSpeed()));
    }
}

void MainViewControl::updatePort(const SettingSetter& setter, const std::string& name, int value) {
    setSetStatus("Updating " + name + " ... please wait ...");
    setIsEnabled(false);
    writing_ = name;
    // The link belongs to this controller: destroying it cancels this completion.
    setter(*port, value, [this, name](bool success) {
        setIsEnabled(true);
        writing_.clear();
        if (restoreRunning_) {
            restoreReport_.push_back(success ? name + " is updated" : "Could not set " + name);
        }
        if (success) {
            // Within a restore, nothing is written that it did not ask for: showGUI would write
            // the first configuration choice over one the window does not offer, after the
            // restore had said what it left.
            if (restoreRunning_) {
                announceSettings();
            } else {
                showGUI();
            }
            setSetStatus(name + " is updated");
        } else {
            setSetStatus("Could not set " + name);
            // The controls show the record as last read rather than the refused choice.
            announceSettings();
        }
        if (restoreRunning_) {
            continueRestore();
        }
    });
}

void MainViewControl::restoreSettings(int autoMode, int configIndex, int speedMph) {
    if (!canEditSettings() || isRestoring()) {
        return;
    }
    restoreReport_.clear();
    restoreRunning_ = true;
    // What "already" means is judged against what the controller holds: after a write it did
    // not acknowledge, the link's record is only what was sent, so it is read again first.
    readHeldSettings([this, autoMode, configIndex, speedMph](bool read) {
        if (!read) {
            restoreRunning_ = false;
            restoreReport_ = {"Could not read the settings"};
            setSetStatus("Settings not all loaded");
            return;
        }
        startRestore(autoMode, configIndex, speedMph);
    });
}

void MainViewControl::startRestore(int autoMode, int configIndex, int speedMph) {
    const auto speedStep = [this, speedMph] {
        if (port->settings.speedLimit != speedMph) {
            updatePort(&SimpleSerial::setSpeedLimit, "Speed Limit", speedMph);
        }
    };
    restoreSteps_ = {
        {"Auto", [this, autoMode] { setIsAuto(autoMode); },
         std::string("Auto is already ") + (autoMode != 0 ? "on" : "off")},
        {"Config", [this, configIndex] { setConfig(configIndex); },
         stringPrintf("Config is already %d", configIndex + 1)},
        {"Speed Limit", speedStep, stringPrintf("Speed Limit is already %d mph", speedMph)},
    };
    continueRestore();
}

void MainViewControl::continueRestore() {
    // After a loss no completion comes (the link drops its exchange): how far the restore got
    // is told once the loss is acknowledged.
    while (!restoreSteps_.empty() && canWriteSettings()) {
        if (!_isEnabled) {
            // A write runs already: one the display started (an unoffered configuration is
            // written as the first choice). Its completion continues.
            return;
        }
        RestoreStep step = std::move(restoreSteps_.front());
        restoreSteps_.pop_front();
        step.write();
        if (!_isEnabled) {
            return;  // a write runs; its completion continues
        }
        restoreReport_.push_back(step.already);
    }
    // Every step taken (the link may have gone first), and none refused.
    const bool kept =
        restoreSteps_.empty() &&
        std::none_of(restoreReport_.begin(), restoreReport_.end(),
                     [](const std::string& line) { return line.starts_with("Could not"); });
    restoreSteps_.clear();
    restoreRunning_ = false;
    setSetStatus(kept ? "Settings loaded" : "Settings not all loaded");
}

std::string MainViewControl::unconfirmedWrite() const {
    return writing_.empty() ? "" : writing_ + " was being written: the controller may not hold it";
}

std::string MainViewControl::restoreProgress() const {
    if (!isRestoring()) {
        return {};
    }
    std::string text;
    for (const std::string& line : restoreReport_) {
        text += (text.empty() ? "" : "\n") + line;
    }
    if (!writing_.empty()) {
        text += (text.empty() ? "" : "\n") + unconfirmedWrite();
    }
    if (!restoreSteps_.empty()) {
        std::string names;
        for (const RestoreStep& step : restoreSteps_) {
            names += (names.empty() ? "" : ", ") + step.name;
        }
        text += std::string(text.empty() ? "" : "\n") + "Not written: " + names;
    }
    return text;
}

}  // namespace korvane
