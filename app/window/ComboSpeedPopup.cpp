#include "app/window/ComboSpeedPopup.h"

#include <QKeyEvent>

namespace korvane {

ComboSpeedPopup::ComboSpeedPopup(QComboBox& combo) : combo_(combo) {
    combo_.installEventFilter(this);
}

void ComboSpeedPopup::addItemWithTitle(const std::string& title) {
    const bool first = combo_.count() == 0;
    combo_.addItem(QString::fromStdString(title));
    if (first) {
        combo_.setCurrentIndex(-1);  // a combo box selects its first item by itself
    }
}

void ComboSpeedPopup::selectItemWithTitle(const std::string& title) {
    // A speed the list does not hold leaves nothing selected, rather than an earlier choice.
    combo_.setCurrentIndex(combo_.findText(QString::fromStdString(title)));
}

bool ComboSpeedPopup::eventFilter(QObject* watched, QEvent* event) {
    if (watched != &combo_) {
        return false;
    }
    if (event->type() == QEvent::Wheel) {
        event->ignore();  // taken from the list, and passed on to what holds it
        return true;
    }
    if (event->type() != QEvent::KeyPress) {
        return false;
    }
    // Keys that open the list or move the focus pass; every other key would choose an item.
    const auto& key = static_cast<const QKeyEvent&>(*event);
    switch (key.key()) {
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
        case Qt::Key_Escape:
        case Qt::Key_Enter:
        case Qt::Key_Return:
        case Qt::Key_Space:
        case Qt::Key_Select:
        case Qt::Key_F4:
            return false;
        case Qt::Key_Up:
        case Qt::Key_Down:
            return !key.modifiers().testFlag(Qt::AltModifier);
        default:
            return true;
    }
}

}  // namespace korvane
