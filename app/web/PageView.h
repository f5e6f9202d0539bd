#pragma once

#include <map>
#include <memory>
#include <optional>

#include "app/Control.h"
#include "app/ListSpeedPopup.h"
#include "app/MainView.h"
#include "app/MainViewControl.h"

namespace korvane {

// The page's speed list: kept here, shown in the page's list.
class PageSpeedPopup final : public SpeedPopup {
public:
    void removeAllItems() override;
    void addItemWithTitle(const std::string& title) override;
    void selectItemWithTitle(const std::string& title) override;
    std::string selectedItemTitle() const override { return list_.selectedItemTitle(); }
    // The user chose the index-th item in the open list.
    void choose(int index);

private:
    void showSelection() const;

    ListSpeedPopup list_;
};

// The page: its controls follow the controller's properties and call its actions, as the window's
// do. It is also the firmware button, which the controller holds off while the file chooser is
// open.
class PageView final : public MainView, private Control {
public:
    PageView();
    ~PageView();
    PageView(const PageView&) = delete;
    PageView& operator=(const PageView&) = delete;

    MainViewControl& control() { return *control_; }
    void chooseSpeed(int index);
    void chooseFirmware() { control_->onChooseFile(*this); }

    void propertyChanged(Property property) override;
    void showAlert(const std::string& message, const std::vector<std::string>& buttons,
                   AlertCompletion completion) override;
    void runOpenPanel(const std::string& fileType, OpenPanelCompletion completion) override;
    // A page is closed by the browser.
    void stopApplication() override {}

    // The user's answers: the index of the button pressed; the file chosen, or none.
    void answered(int token, int button);
    void fileChosen(int token, std::optional<std::string> path);

private:
    void setEnabled(bool enabled) override;
    void updateEnabledControls();
    // The firmware progress, with the time left once there is a rate to go by.
    void showProgress();

    PageSpeedPopup speeds_;
    std::shared_ptr<MainViewControl> control_;
    bool firmwareButtonHeld_ = false;
    std::optional<Duration> programmingSince_;
    int nextToken_ = 0;
    std::map<int, AlertCompletion> alerts_;
    std::map<int, OpenPanelCompletion> openPanels_;
};

}  // namespace korvane
