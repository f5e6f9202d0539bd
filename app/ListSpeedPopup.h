#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/SpeedPopup.h"

namespace korvane {

// A speed list without a window: for the command line and for tests.
class ListSpeedPopup final : public SpeedPopup {
public:
    void removeAllItems() override;
    void addItemWithTitle(const std::string& title) override;
    void selectItemWithTitle(const std::string& title) override;
    std::string selectedItemTitle() const override;

    const std::vector<std::string>& titles() const { return titles_; }

private:
    std::vector<std::string> titles_;
    std::optional<std::size_t> selected_;
};

}  // namespace korvane
