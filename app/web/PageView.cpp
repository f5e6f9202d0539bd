#include "app/web/PageView.h"

#include <algorithm>

#include "app/TimeLeft.h"
#include "app/web/PageDom.h"
#include "util/StringPrintf.h"

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

PageView::PageView() : control_(MainViewControl::create(*this)) {
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

void PageView::propertyChanged(Property property) {
    const MainViewControl& control = *control_;
    switch (property) {
        case Property::isAuto:
            korvane_dom_checked("auto", control.isAuto() != 0);
            break;
        case Property::config: {
            const std::string id = stringPrintf("config%d", std::clamp(control.config(), 0, 2) + 1);
            korvane_dom_checked(id.c_str(), true);
            break;
        }
        case Property::isKmh:
            korvane_dom_checked(control.isKmh() != 0 ? "kmh" : "mph", true);
            break;
        case Property::maxSpeed:
            break;  // the controller fills the speed list itself
        case Property::canConnect:
        case Property::isConnected:
        case Property::isEnabled:
        case Property::isUpdatingFirmware:
            updateEnabledControls();
            break;
        case Property::isUpdateRunning:
            updateEnabledControls();
            showProgress();  // the time left goes with the update
            break;
        case Property::connectStatus:
            korvane_dom_text("connectStatus", control.connectStatus().c_str());
            break;
        case Property::setStatus:
            korvane_dom_text("setStatus", control.setStatus().c_str());
            break;
        case Property::firmwareStatus:
            korvane_dom_text("firmwareStatus", control.firmwareStatus().c_str());
            break;
        case Property::firmwareDetail:
            korvane_dom_text("firmwareDetail", control.firmwareDetail().c_str());
            break;
        case Property::connectDetail:
            korvane_dom_text("connectDetail", control.connectDetail().c_str());
            break;
        case Property::maxFirmwareCount:
        case Property::currFirmwareCount:
            showProgress();
            break;
    }
}

void PageView::showProgress() {
    const MainViewControl& control = *control_;
    const std::uint64_t total = control.maxFirmwareCount();
    const std::uint64_t done = std::min(control.currFirmwareCount(), total);
    const Duration now = RunLoop::current().now();
    // Programming starts at record 0 of a new count.
    if (done == 0 || !programmingSince_) {
        programmingSince_ = now;
    }
    korvane_dom_progress("firmwareProgress", static_cast<double>(done), static_cast<double>(total));
    // The bar keeps its values after an update; the time left means something only during one.
    const std::optional<Duration> left =
        control.isUpdateRunning() ? timeLeft(done, total, now - *programmingSince_) : std::nullopt;
    std::string text;
    if (total > 0) {
        text = stringPrintf("%llu%%", static_cast<unsigned long long>(done * 100 / total));
        if (left) {
            text += " - " + clockText(*left) + " left";
        }
    }
    korvane_dom_text("firmwareProgressText", text.c_str());
}

void PageView::updateEnabledControls() {
    const MainViewControl& control = *control_;
    korvane_dom_enabled("connect", control.canConnect());
    korvane_dom_shown("searchIndicator", !control.canConnect() && !control.isConnected());
    korvane_dom_enabled("disconnect", control.canDisconnect());
    for (const char* id : {"auto", "configChoices", "unitChoices", "speed"}) {
        korvane_dom_enabled(id, control.canEditSettings());
    }
    // The controller holds the button off while its file chooser is open.
    korvane_dom_enabled("firmware", control.canChooseFile() && !firmwareButtonHeld_);
}

void PageView::setEnabled(bool enabled) {
    firmwareButtonHeld_ = !enabled;
    updateEnabledControls();
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
