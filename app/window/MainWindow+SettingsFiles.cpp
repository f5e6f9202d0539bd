// Keeping the controller's settings in a file and putting them back, from the window.
#include "app/SettingsFileFlow.h"
#include "app/frontend/WholeFile.h"
#include "app/window/MainWindow.h"

namespace korvane {

namespace {
const QString kSettingsFilter = QStringLiteral("Settings (*.json)");
}

// A file picked after the link the panel was opened for has gone is for no controller: the
// loss's alert has said so.

void MainWindow::saveSettings() {
    if (!control_->canEditSettings()) {
        return;
    }
    openFileDialog(QStringLiteral("Save the settings"), kSettingsFilter, QFileDialog::AcceptSave,
                   [this, forLink = control_->linkNumber()](std::optional<std::string> path) {
                       if (path && control_->linkNumber() == forLink) {
                           korvane::saveSettings(*control_, *path, [path](const std::string& text) {
                               return writeWholeFile(*path, text, true);
                           });
                       }
                   });
}

void MainWindow::loadSettings() {
    if (!control_->canEditSettings()) {
        return;
    }
    openFileDialog(QStringLiteral("Load settings"), kSettingsFilter, QFileDialog::AcceptOpen,
                   [this, forLink = control_->linkNumber()](std::optional<std::string> path) {
                       if (path && control_->linkNumber() == forLink) {
                           korvane::loadSettings(*control_, *path, settingsFileContent(*path),
                                                 askInAlert(*control_));
                       }
                   });
}

}  // namespace korvane
