#pragma once

#include <QFileDialog>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QWidget>
#include <memory>

#include "app/MainView.h"
#include "app/MainViewControl.h"
#include "app/ViewBinding.h"
#include "app/window/ComboSpeedPopup.h"
#include "platform/Log.h"

namespace Ui {
class MainViewControl;
}

namespace korvane {

inline constexpr const char* kApplicationTitle = "Korvane Controller configuration software";

// The log as the window's Log panel shows it, passed on to the log installed before.
class WindowLog final : public LogSink {
public:
    explicit WindowLog(QPlainTextEdit& panel);
    void write(std::string_view text) override;

private:
    QPlainTextEdit& panel_;
    LogSink* next_;
    LogSink::Scope scope_;
};

// The window: its controls follow the controller's properties and call its actions.
class MainWindow final : public QMainWindow, public MainView, private ViewControls {
public:
    // `fastTransfers`: the "Fast transfers" box starts checked.
    explicit MainWindow(bool fastTransfers = false);
    ~MainWindow() override;

    MainViewControl& control() { return *control_; }

    void propertyChanged(Property property) override;
    void showAlert(const std::string& message, const std::vector<std::string>& buttons,
                   AlertCompletion completion) override;
    void runOpenPanel(const std::string& fileType, OpenPanelCompletion completion) override;
    void stopApplication() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void connectActions();
    QWidget& widget(Element element) const;
    void showText(Element label, const std::string& text) override;
    void showChoice(Element choices, int index) override;
    void enableControl(Element control, bool enabled) override;
    void showControl(Element control, bool shown) override;
    void showProgress(const FirmwareBar& bar) override;
    void openFileDialog(const QString& title, const QString& filter, QFileDialog::AcceptMode mode,
                        OpenPanelCompletion completion);
    // Settings kept in a file: saved as they are, or put back after the checks.
    void saveSettings();
    void loadSettings();

    std::unique_ptr<Ui::MainViewControl> form_;
    std::unique_ptr<ComboSpeedPopup> speeds_;
    std::shared_ptr<MainViewControl> control_;
    std::unique_ptr<ViewBinding> binding_;
    // Installed for the window's life, after the controls it writes to.
    std::unique_ptr<WindowLog> log_;
};

}  // namespace korvane
