#include "app/web/PageView.h"

#include <algorithm>

#include "app/SettingsFileFlow.h"
#include "app/web/PageDom.h"

namespace korvane {

namespace {

// The completion waiting for `token`, taken out; none when it was answered already.
template <typename Completion>
Completion take(std::map<int, Completion>& waiting, int token) {
    const auto found = waiting.find(token);
    if (found == waiting.end()) {
        return nullptr;
    }
    Completion completion = std::move(found->second);
    waiting.erase(found);
    return completion;
}

// The page's elements by their ids in web/index.html.
constexpr const char* kIds[] = {
    "connect",       "disconnect",    "searchIndicator", "auto",           "configChoices",
    "unitChoices",   "speed",         "saveSettings",    "loadSettings",   "firmware",
    "connectStatus", "connectDetail", "setStatus",       "firmwareStatus", "firmwareDetail",
};
static_assert(std::size(kIds) == kElementCount, "an id for each element, in order");

}  // namespace

void PageSpeedPopup::removeAllItems() {
    list_.removeAllItems();
    korvane_dom_speed_clear();
}

void PageSpeedPopup::addItemWithTitle(const std::string& title) {
    list_.addItemWithTitle(title);
    korvane_dom_speed_add(title.c_str());
    showSelection();  // a list selects its first item by itself
}

void PageSpeedPopup::selectItemWithTitle(const std::string& title) {
    list_.selectItemWithTitle(title);
    showSelection();
}

void PageSpeedPopup::choose(int index) {
    const std::vector<std::string>& titles = list_.titles();
    if (index >= 0 && index < static_cast<int>(titles.size())) {
        list_.selectItemWithTitle(titles[static_cast<std::size_t>(index)]);
    }
}

void PageSpeedPopup::showSelection() const {
    const std::vector<std::string>& titles = list_.titles();
    const auto found = std::find(titles.begin(), titles.end(), list_.selectedItemTitle());
    korvane_dom_speed_select(found == titles.end() ? -1 : static_cast<int>(found - titles.begin()));
}

PageView::PageView()
    : control_(MainViewControl::create(*this)),
      binding_(std::make_unique<ViewBinding>(*control_, static_cast<ViewControls&>(*this))) {
    control_->setSpeedPopup(&speeds_);
    control_->viewDidLoad();
}

PageView::~PageView() {
    // The controller goes first: its link may still report to this page on the way out.
    control_.reset();
}

void PageView::chooseSpeed(int index) {
    speeds_.choose(index);
    control_->onSpeed(speeds_);
}

void PageView::saveSettings() {
    if (!control_->canEditSettings()) {
        return;
    }
    // The browser puts a download where the user keeps them; the name says whose settings it holds.
    const std::string name = "korvane-settings-" + control_->link()->identity.deviceId + ".json";
    korvane::saveSettings(*control_, name, [name](const std::string& text) {
        korvane_dom_download(name.c_str(), text.c_str());
        return std::string();
    });
}

void PageView::loadSettings() {
    if (control_->canEditSettings()) {
        runOpenPanel("json", forItsLink(*control_, loadSettingsFile));
    }
}

void PageView::showText(Element label, const std::string& text) {
    korvane_dom_text(kIds[static_cast<int>(label)], text.c_str());
}

void PageView::showChoice(Element choices, int index) {
    korvane_dom_choice(kIds[static_cast<int>(choices)], index);
}

void PageView::enableControl(Element control, bool enabled) {
    korvane_dom_enabled(kIds[static_cast<int>(control)], enabled);
}

void PageView::showControl(Element control, bool shown) {
    korvane_dom_shown(kIds[static_cast<int>(control)], shown);
}

void PageView::showProgress(const FirmwareBar& bar) {
    korvane_dom_progress("firmwareProgress", static_cast<double>(bar.value),
                         static_cast<double>(bar.maximum));
    korvane_dom_text("firmwareProgressText", bar.text.c_str());
}

void PageView::showAlert(const std::string& message, const std::vector<std::string>& buttons,
                         AlertCompletion completion) {
    std::string titles;
    for (const std::string& title : buttons) {
        titles += (titles.empty() ? "" : "\n") + title;
    }
    const int token = nextToken_++;
    alerts_.emplace(token, std::move(completion));
    korvane_dom_alert(token, message.c_str(), titles.c_str());
}

void PageView::answered(int token, int button) {
    if (const AlertCompletion completion = take(alerts_, token)) {
        completion(kAlertFirstButtonReturn + button);
    }
}

void PageView::runOpenPanel(const std::string& fileType, OpenPanelCompletion completion) {
    const int token = nextToken_++;
    openPanels_.emplace(token, std::move(completion));
    korvane_dom_choose_file(token, ("." + fileType).c_str());
}

void PageView::fileChosen(int token, std::optional<std::string> path) {
    if (const OpenPanelCompletion completion = take(openPanels_, token)) {
        completion(std::move(path));
    }
}

}  // namespace korvane
