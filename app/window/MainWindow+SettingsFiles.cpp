// Keeping the controller's settings in a file and putting them back, from the window.
#include "app/frontend/SettingsFileFlow.h"
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
                       if (path) {
                           saveSettingsTo(*control_, *path);
                       }
                   });
}

void MainWindow::loadSettings() {
    if (!control_->canEditSettings()) {
        return;
    }
    openFileDialog(QStringLiteral("Load settings"), kSettingsFilter, QFileDialog::AcceptOpen,
                   [this](std::optional<std::string> path) {
                       if (path) {
                           loadSettingsFrom(*control_, *this, *path);
                       }
                   });
}

}  // namespace korvane
