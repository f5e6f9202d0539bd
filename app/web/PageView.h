#pragma once

#include <map>
#include <memory>
#include <optional>

#include "app/ListSpeedPopup.h"
#include "app/MainView.h"
#include "app/MainViewControl.h"
#include "app/ViewBinding.h"

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
// do.
class PageView final : public MainView, private ViewControls {
public:
    PageView();
    ~PageView();
    PageView(const PageView&) = delete;
    PageView& operator=(const PageView&) = delete;

    MainViewControl& control() { return *control_; }
    void chooseSpeed(int index);
    void chooseFirmware() { control_->onChooseFile(*binding_); }
    // Settings kept in a file: a download, or a file the user picks.
    void saveSettings();
    void loadSettings();

    void propertyChanged(Property property) override { binding_->propertyChanged(property); }
    void showAlert(const std::string& message, const std::vector<std::string>& buttons,
                   AlertCompletion completion) override;
    void runOpenPanel(const std::string& fileType, OpenPanelCompletion completion) override;
    // A page is closed by the browser.
    void stopApplication() override {}

    // The user's answers: the index of the button pressed; the file chosen, or none.
    void answered(int token, int button);
    void fileChosen(int token, std::optional<std::string> path);

private:
    void showText(Element label, const std::string& text) override;
    void showChoice(Element choices, int index) override;
    void enableControl(Element control, bool enabled) override;
    void showControl(Element control, bool shown) override;
    void showProgress(const FirmwareBar& bar) override;

    PageSpeedPopup speeds_;
    std::shared_ptr<MainViewControl> control_;
    std::unique_ptr<ViewBinding> binding_;
    int nextToken_ = 0;
    std::map<int, AlertCompletion> alerts_;
    std::map<int, OpenPanelCompletion> openPanels_;
};

}  // namespace korvane
