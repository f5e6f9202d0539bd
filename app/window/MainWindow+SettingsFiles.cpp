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
                       // The dialog has asked before replacing a file.
                       const SavedSettings settings = settingsOf(*control_);
                       const std::string problem = saveSettingsFile(*path, settings, true);
                       control_->setSetStatus(problem.empty() ? "Settings saved to " + *path
                                                              : "Could not save the settings to " +
                                                                    *path + ": " + problem);
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
            const std::string deviceId = identityOf(*control_->link()).deviceId;
            if (deviceId == saved.deviceId) {
                restore();
                return;
            }
            showAlert(*path + " holds the settings of device " + saved.deviceId +
                          ", not of this controller (" + deviceId + "). Load them anyway?",
                      {"Load", "Cancel"}, [this, restore](int response) {
                          if (response == kAlertFirstButtonReturn && control_->canEditSettings()) {
                              restore();
                          }
                      });
        });
}

}  // namespace korvane
