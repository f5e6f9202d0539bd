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
constexpr double kMphPerKmh = 0.621371;
constexpr double kKmhPerMph = 1.609344;

}  // namespace

int MainViewControl::isAuto() const {
    return hasReadyLink() ? port->settings.autoMode : 0;
}

void MainViewControl::setIsAuto(int value) {
    if (canWriteSettings() && port->settings.autoMode != value) {
        updatePort(&SimpleSerial::setAutoMode, Setting::autoMode, value);
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
            updatePort(&SimpleSerial::setConfigMode, Setting::config, mode);
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
    updatePort(&SimpleSerial::setSpeedLimit, Setting::speedLimit, std::min(mph, kMaxSpeedMph));
}

Settings MainViewControl::settings() const {
    return {isAuto() != 0, config() + 1, hasReadyLink() ? int{port->settings.speedLimit} : 0};
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

void MainViewControl::updatePort(const SettingSetter& setter, Setting setting, int value) {
    const std::string name(settingName(setting));
    setSetStatus("Updating " + name + " ... please wait ...");
    setIsEnabled(false);
    writing_ = setting;
    // The link belongs to this controller: destroying it cancels this completion.
    setter(*port, value, [this, setting, name](bool success) {
        setIsEnabled(true);
        writing_.reset();
        if (restoreRunning_) {
            restoreReport_.push_back(
                {success ? RestoreLine::Kind::updated : RestoreLine::Kind::refused, setting});
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
        } else {
            // The controls show the record as last read rather than the refused choice.
            announceSettings();
        }
        store(lastWrite_, std::optional(WriteEnd{setting, success}), Property::lastWrite);
        setSetStatus(success ? name + " is updated" : "Could not set " + name);
        if (restoreRunning_) {
            continueRestore();
        }
    });
}

void MainViewControl::restoreSettings(const Settings& saved) {
    if (!canEditSettings() || isRestoring()) {
        return;
    }
    restoreReport_.clear();
    restoreRunning_ = true;
    // What "already" means is judged against what the controller holds: after a write it did
    // not acknowledge, the link's record is only what was sent, so it is read again first.
    readHeldSettings([this, saved](bool read) {
        if (!read) {
            restoreRunning_ = false;
            restoreKept_ = false;
            restoreReport_ = {{RestoreLine::Kind::unread}};
            setSetStatus("Settings not all loaded");
            return;
        }
        startRestore(saved);
    });
}

void MainViewControl::startRestore(const Settings& saved) {
    const auto speedStep = [this, mph = saved.speedLimitMph] {
        if (port->settings.speedLimit != mph) {
            updatePort(&SimpleSerial::setSpeedLimit, Setting::speedLimit, mph);
        }
    };
    restoreSteps_ = {
        {Setting::autoMode, [this, on = saved.autoMode] { setIsAuto(on ? 1 : 0); },
         saved.autoMode ? 1 : 0},
        {Setting::config, [this, index = saved.config - 1] { setConfig(index); }, saved.config},
        {Setting::speedLimit, speedStep, saved.speedLimitMph},
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
        restoreReport_.push_back({RestoreLine::Kind::already, step.setting, step.value});
    }
    // Every step taken (the link may have gone first), and none refused.
    restoreKept_ = restoreSteps_.empty() &&
                   std::none_of(restoreReport_.begin(), restoreReport_.end(), [](const auto& line) {
                       return line.kind == RestoreLine::Kind::refused;
                   });
    restoreSteps_.clear();
    restoreRunning_ = false;
    setSetStatus(restoreKept_ ? "Settings loaded" : "Settings not all loaded");
}

std::string MainViewControl::unconfirmedWrite() const {
    return writing_ ? std::string(settingName(*writing_)) +
                          " was being written: the controller may not hold it"
                    : "";
}

std::string MainViewControl::restoreProgress() const {
    if (!isRestoring()) {
        return {};
    }
    std::string text;
    for (const RestoreLine& line : restoreReport_) {
        text += (text.empty() ? "" : "\n") + describe(line);
    }
    if (writing_) {
        text += (text.empty() ? "" : "\n") + unconfirmedWrite();
    }
    if (!restoreSteps_.empty()) {
        std::string names;
        for (const RestoreStep& step : restoreSteps_) {
            names += (names.empty() ? "" : ", ") + std::string(settingName(step.setting));
        }
        text += std::string(text.empty() ? "" : "\n") + "Not written: " + names;
    }
    return text;
}

std::string describe(const RestoreLine& line) {
    const std::string name(settingName(line.setting));
    switch (line.kind) {
        case RestoreLine::Kind::updated:
            return name + " is updated";
        case RestoreLine::Kind::refused:
            return "Could not set " + name;
        case RestoreLine::Kind::unread:
            return "Could not read the settings";
        case RestoreLine::Kind::already:
            break;
    }
    switch (line.setting) {
        case Setting::autoMode:
            return name + " is already " + (line.value != 0 ? "on" : "off");
        case Setting::config:
            return stringPrintf("Config is already %d", line.value);
        case Setting::speedLimit:
            break;
    }
    return stringPrintf("Speed Limit is already %d mph", line.value);
}

}  // namespace korvane
