#pragma once

#include <QComboBox>
#include <QObject>

#include "app/SpeedPopup.h"

namespace korvane {

// The speed list of the window. Like the platform's pop-up button it takes a choice only from its
// open list (a click, or Enter on the highlighted item): the wheel and keys over the closed list
// change nothing, since every choice writes the controller's speed limit.
class ComboSpeedPopup final : public QObject, public SpeedPopup {
public:
    explicit ComboSpeedPopup(QComboBox& combo);

    void removeAllItems() override { combo_.clear(); }
    void addItemWithTitle(const std::string& title) override;
    void selectItemWithTitle(const std::string& title) override;
    std::string selectedItemTitle() const override { return combo_.currentText().toStdString(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QComboBox& combo_;
};

}  // namespace korvane
