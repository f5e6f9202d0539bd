#pragma once

#include <string>

namespace korvane {

// The speed list: items titled with decimal numbers, one of them selected.
class SpeedPopup {
public:
    virtual void removeAllItems() = 0;
    virtual void addItemWithTitle(const std::string& title) = 0;
    // No item with that title: nothing is selected, as the platform's pop-up list does.
    virtual void selectItemWithTitle(const std::string& title) = 0;
    // Empty when nothing is selected.
    virtual std::string selectedItemTitle() const = 0;

protected:
    ~SpeedPopup() = default;
};

}  // namespace korvane
