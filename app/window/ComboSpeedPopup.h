#pragma once

#include <QComboBox>

#include "app/SpeedPopup.h"

namespace korvane {

// The speed list of the window.
class ComboSpeedPopup final : public SpeedPopup {
public:
    explicit ComboSpeedPopup(QComboBox& combo) : combo_(combo) {}

    void removeAllItems() override { combo_.clear(); }
    void addItemWithTitle(const std::string& title) override {
        const bool first = combo_.count() == 0;
        combo_.addItem(QString::fromStdString(title));
        if (first) {
            combo_.setCurrentIndex(-1);  // a combo box selects its first item by itself
        }
    }
    void selectItemWithTitle(const std::string& title) override {
        const int index = combo_.findText(QString::fromStdString(title));
        if (index >= 0) {
            combo_.setCurrentIndex(index);
        }
    }
    std::string selectedItemTitle() const override { return combo_.currentText().toStdString(); }

private:
    QComboBox& combo_;
};

}  // namespace korvane
