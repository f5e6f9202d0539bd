#include "app/frontend/SettingsFileFlow.h"

#include "app/ControllerIdentity.h"
#include "app/frontend/SettingsFile.h"

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

void saveSettingsTo(MainViewControl& control, const std::string& path) {
    if (refusedNow(control, "save the settings to " + path)) {
        return;
    }
    // The link belongs to the controller: destroying it cancels this completion.
    control.readHeldSettings([&control, path](bool read) {
        const std::string problem = read ? saveSettingsFile(path, settingsOf(control), true)
                                         : "the controller did not send its settings";
        control.setSetStatus(problem.empty()
                                 ? "Settings saved to " + path
                                 : "Could not save the settings to " + path + ": " + problem);
    });
}

void loadSettingsFrom(MainViewControl& control, MainView& view, const std::string& path) {
    if (refusedNow(control, "load the settings from " + path)) {
        return;
    }
    const SettingsFileReading reading = readSettingsFile(path);
    if (!reading.settings) {
        control.setSetStatus("Invalid settings file: " + path + ": " + reading.problem);
        return;
    }
    const SavedSettings saved = *reading.settings;
    const auto restore = [saved](MainViewControl& held) {
        held.restoreSettings(saved.autoMode ? 1 : 0, saved.config - 1, saved.speedLimitMph);
    };
    // What the user should know before anything is written.
    std::vector<std::string> doubts;
    const std::string deviceId = identityOf(*control.link()).deviceId;
    if (deviceId != saved.deviceId) {
        doubts.push_back("the settings of device " + saved.deviceId + ", not of this controller (" +
                         deviceId + ")");
    }
    if (!speedIsOffered(saved.speedLimitMph)) {
        doubts.push_back("a speed limit of " + std::to_string(saved.speedLimitMph) +
                         " mph, which the speed list cannot show (1 to 30)");
    }
    if (doubts.empty()) {
        restore(control);
        return;
    }
    std::string question = path + " holds " + doubts.front();
    for (std::size_t i = 1; i < doubts.size(); ++i) {
        question += ", and " + doubts[i];
    }
    // Answered later: an answer for a link that has gone does nothing.
    view.showAlert(
        question + ". Load them anyway?", {"Load", "Cancel"},
        [self = control.weak_from_this(), restore, path,
         forLink = control.linkNumber()](int response) {
            const auto held = self.lock();
            if (!held || response != kAlertFirstButtonReturn || held->linkNumber() != forLink) {
                return;
            }
            if (!refusedNow(*held, "load the settings from " + path)) {
                restore(*held);
            }
        });
}

}  // namespace korvane
