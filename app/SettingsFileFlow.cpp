#include "app/SettingsFileFlow.h"

namespace korvane {

namespace {

// Says why `what` ("save the settings to PATH") cannot be done now; false when it can.
bool refusedNow(MainViewControl& control, const std::string& what) {
    const char* why = control.canEditSettings()      ? nullptr
                      : !control.isConnected()       ? "no controller is connected"
                      : control.isUpdatingFirmware() ? "a firmware update has not ended"
                      : control.isUpdateRunning()    ? "the firmware is being updated"
                      : !control.isEnabled()         ? "a setting is being written"
                                                     : "the controller is disconnected";
    if (why != nullptr) {
        control.setSetStatus("Could not " + what + ": " + why);
    }
    return why != nullptr;
}

}  // namespace

void saveSettings(MainViewControl& control, const std::string& path, const SettingsWriter& write,
                  SaveDone done) {
    if (refusedNow(control, "save the settings to " + path)) {
        return;
    }
    // The link belongs to the controller: destroying it cancels this completion.
    control.readHeldSettings([&control, path, write, done = std::move(done)](bool read) {
        std::optional<SavedSettings> saved;
        if (read) {
            saved = settingsOf(control);
        }
        std::string problem =
            saved ? write(settingsFileText(*saved)) : "the controller did not send its settings";
        control.setSetStatus(problem.empty() ? "Settings saved to " + path
                                             : couldNotSave(path, problem));
        if (done) {
            done(problem.empty() ? saved : std::nullopt, problem);
        }
    });
}

std::string LoadDoubts::question() const {
    std::string text = path + " holds ";
    if (otherDevice) {
        text += "the settings of device " + *otherDevice + ", not of this controller (" +
                heldDevice + ")" + (unofferedMph ? ", and " : "");
    }
    if (unofferedMph) {
        text += "a speed limit of " + std::to_string(*unofferedMph) +
                " mph, which the speed list cannot show (1 to 30)";
    }
    return text + ". Load them anyway?";
}

void loadSettings(MainViewControl& control, const std::string& path, const FileContent& content,
                  const ConfirmDoubts& confirm) {
    if (refusedNow(control, "load the settings from " + path)) {
        return;
    }
    const SettingsFileReading reading = content.problem.empty()
                                            ? parseSettingsFile(content.bytes)
                                            : SettingsFileReading{std::nullopt, content.problem};
    if (!reading.settings) {
        control.setSetStatus("Invalid settings file: " + path + ": " + reading.problem);
        return;
    }
    const SavedSettings& saved = *reading.settings;
    LoadDoubts doubts{path, std::nullopt, control.link()->identity.deviceId, std::nullopt};
    if (doubts.heldDevice != saved.deviceId) {
        doubts.otherDevice = saved.deviceId;
    }
    if (!speedIsOffered(saved.settings.speedLimitMph)) {
        doubts.unofferedMph = saved.settings.speedLimitMph;
    }
    if (!doubts.otherDevice && !doubts.unofferedMph) {
        control.restoreSettings(saved.settings);
        return;
    }
    // Answered later: an answer for a link that has gone does nothing.
    confirm(doubts, [self = control.weak_from_this(), settings = saved.settings, path,
                     forLink = control.linkNumber()](bool load) {
        const auto held = self.lock();
        if (held && load && held->linkNumber() == forLink &&
            !refusedNow(*held, "load the settings from " + path)) {
            held->restoreSettings(settings);
        }
    });
}

ConfirmDoubts askInAlert(MainViewControl& control) {
    return [&control](const LoadDoubts& doubts, std::function<void(bool)> answer) {
        control.showNotice(Notice::loadQuestion, doubts.question(), {"Load", "Cancel"},
                           [answer = std::move(answer)](int response) {
                               answer(response == kAlertFirstButtonReturn);
                           });
    };
}

void loadSettingsFile(MainViewControl& control, const std::string& path) {
    loadSettings(control, path, settingsFileContent(path), askInAlert(control));
}

OpenPanelCompletion forItsLink(MainViewControl& control,
                               std::function<void(MainViewControl&, const std::string&)> use) {
    return [self = control.weak_from_this(), forLink = control.linkNumber(),
            use = std::move(use)](std::optional<std::string> path) {
        const auto held = self.lock();
        if (held && path && forLink != 0 && held->linkNumber() == forLink) {
            use(*held, *path);
        }
    };
}

}  // namespace korvane
