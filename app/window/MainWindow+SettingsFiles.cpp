// Keeping the controller's settings in a file and putting them back, from the window.
#include "app/ControllerIdentity.h"
#include "app/frontend/SettingsFile.h"
#include "app/window/MainWindow.h"

namespace korvane {

namespace {
const QString kSettingsFilter = QStringLiteral("Settings (*.json)");
}

void MainWindow::saveSettings() {
    if (!control_->canEditSettings()) {
        return;
    }
    openFileDialog(QStringLiteral("Save the settings"), kSettingsFilter, QFileDialog::AcceptSave,
                   [this](std::optional<std::string> path) {
                       if (!path || !control_->canEditSettings()) {
                           return;
                       }
                       control_->readHeldSettings([this, path = *path](bool read) {
                           // The dialog has asked before replacing a file.
                           const std::string problem =
                               read ? saveSettingsFile(path, settingsOf(*control_), true)
                                    : "the controller did not send its settings";
                           control_->setSetStatus(problem.empty()
                                                      ? "Settings saved to " + path
                                                      : "Could not save the settings to " + path +
                                                            ": " + problem);
                       });
                   });
}

void MainWindow::loadSettings() {
    if (!control_->canEditSettings()) {
        return;
    }
    openFileDialog(
        QStringLiteral("Load settings"), kSettingsFilter, QFileDialog::AcceptOpen,
        [this](std::optional<std::string> path) {
            if (!path || !control_->canEditSettings()) {
                return;
            }
            const SettingsFileReading reading = readSettingsFile(*path);
            if (!reading.settings) {
                control_->setSetStatus("Invalid settings file: " + *path + ": " + reading.problem);
                return;
            }
            const SavedSettings saved = *reading.settings;
            const auto restore = [this, saved] {
                control_->restoreSettings(saved.autoMode ? 1 : 0, saved.config - 1,
                                          saved.speedLimitMph);
            };
            // What the user should know before anything is written.
            std::vector<std::string> doubts;
            const std::string deviceId = identityOf(*control_->link()).deviceId;
            if (deviceId != saved.deviceId) {
                doubts.push_back("the settings of device " + saved.deviceId +
                                 ", not of this controller (" + deviceId + ")");
            }
            if (!speedIsOffered(saved.speedLimitMph)) {
                doubts.push_back("a speed limit of " + std::to_string(saved.speedLimitMph) +
                                 " mph, which the speed list cannot show (1 to 30)");
            }
            if (doubts.empty()) {
                restore();
                return;
            }
            std::string question = *path + " holds " + doubts.front();
            for (std::size_t i = 1; i < doubts.size(); ++i) {
                question += ", and " + doubts[i];
            }
            showAlert(question + ". Load them anyway?", {"Load", "Cancel"},
                      [this, restore](int response) {
                          if (response == kAlertFirstButtonReturn && control_->canEditSettings()) {
                              restore();
                          }
                      });
        });
}

}  // namespace korvane
