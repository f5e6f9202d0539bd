// Keeping the controller's settings in a file and putting them back, from the window.
#include "app/SettingsFileFlow.h"
#include "app/frontend/WholeFile.h"
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
                   forItsLink(*control_, [](MainViewControl& control, const std::string& path) {
                       korvane::saveSettings(control, path, [path](const std::string& text) {
                           return writeWholeFile(path, text, true);
                       });
                   }));
}

void MainWindow::loadSettings() {
    if (!control_->canEditSettings()) {
        return;
    }
    openFileDialog(QStringLiteral("Load settings"), kSettingsFilter, QFileDialog::AcceptOpen,
                   forItsLink(*control_, loadSettingsFile));
}

}  // namespace korvane
