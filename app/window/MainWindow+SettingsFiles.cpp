// Keeping the controller's settings in a file and putting them back, from the window.
#include "app/frontend/SettingsFileFlow.h"
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
                           saveSettingsTo(*control_, *path);
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
                           loadSettingsFrom(*control_, *this, *path);
                       }
                   });
}

}  // namespace korvane
