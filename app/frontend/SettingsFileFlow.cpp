#include "app/frontend/SettingsFileFlow.h"

#include "app/ControllerIdentity.h"
#include "app/frontend/SettingsFile.h"

namespace korvane {

void saveSettingsTo(MainViewControl& control, const std::string& path) {
    if (!control.canEditSettings()) {
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
    if (!control.canEditSettings()) {
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
    // Answered later: the device may have gone by then.
    view.showAlert(question + ". Load them anyway?", {"Load", "Cancel"},
                   [self = control.weak_from_this(), restore](int response) {
                       const auto held = self.lock();
                       if (held && response == kAlertFirstButtonReturn && held->canEditSettings()) {
                           restore(*held);
                       }
                   });
}

}  // namespace korvane
