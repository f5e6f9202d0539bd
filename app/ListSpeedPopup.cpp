#include "app/ListSpeedPopup.h"

#include <algorithm>

namespace korvane {

void ListSpeedPopup::removeAllItems() {
    titles_.clear();
    selected_.reset();
}

void ListSpeedPopup::addItemWithTitle(const std::string& title) {
    titles_.push_back(title);
}

void ListSpeedPopup::selectItemWithTitle(const std::string& title) {
    const auto found = std::find(titles_.begin(), titles_.end(), title);
    selected_ = found == titles_.end()
                    ? std::nullopt
                    : std::optional(static_cast<std::size_t>(found - titles_.begin()));
}

std::string ListSpeedPopup::selectedItemTitle() const {
    return selected_ ? titles_[*selected_] : std::string();
}

}  // namespace korvane
