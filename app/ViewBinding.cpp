#include "app/ViewBinding.h"

#include <algorithm>

#include "app/MainViewControl.h"

namespace korvane {

void ViewBinding::propertyChanged(Property property) {
    const MainViewControl& control = control_;
    switch (property) {
        case Property::isAuto:
            controls_.setChoice(Element::autoMode, control.isAuto() != 0 ? 1 : 0);
            break;
        case Property::config:
            controls_.setChoice(Element::config, std::clamp(control.config(), 0, 2));
            break;
        case Property::isKmh:
            controls_.setChoice(Element::unit, control.isKmh() != 0 ? 1 : 0);
            break;
        case Property::canConnect:
        case Property::isConnected:
        case Property::isEnabled:
        case Property::isUpdatingFirmware:
            updateEnabledControls();
            break;
        case Property::isUpdateRunning:
            updateEnabledControls();
            controls_.setProgress(progress_.bar(control));  // the time left goes with the update
            break;
        case Property::maxFirmwareCount:
        case Property::currFirmwareCount:
            controls_.setProgress(progress_.bar(control));
            break;
        case Property::connectStatus:
            controls_.setText(Element::connectStatus, control.connectStatus());
            break;
        case Property::connectDetail:
            controls_.setText(Element::connectDetail, control.connectDetail());
            break;
        case Property::setStatus:
            controls_.setText(Element::setStatus, control.setStatus());
            break;
        case Property::firmwareStatus:
            controls_.setText(Element::firmwareStatus, control.firmwareStatus());
            break;
        case Property::firmwareDetail:
            controls_.setText(Element::firmwareDetail, control.firmwareDetail());
            break;
        case Property::maxSpeed:   // the controller fills the speed list itself
        case Property::lastWrite:  // the texts above say the same to a person
        case Property::updateEnd:
        case Property::notice:
            break;
    }
}

void ViewBinding::updateEnabledControls() {
    const MainViewControl& control = control_;
    controls_.setEnabled(Element::connect, control.canConnect());
    controls_.setShown(Element::searchIndicator, !control.canConnect() && !control.isConnected());
    controls_.setEnabled(Element::disconnect, control.canDisconnect());
    for (const Element settings : {Element::autoMode, Element::config, Element::unit,
                                   Element::speed, Element::saveSettings, Element::loadSettings}) {
        controls_.setEnabled(settings, control.canEditSettings());
    }
    controls_.setEnabled(Element::firmware, control.canChooseFile() && !firmwareButtonHeld_);
}

void ViewBinding::setEnabled(bool enabled) {
    firmwareButtonHeld_ = !enabled;
    updateEnabledControls();
}

}  // namespace korvane
