#include "app/ViewBinding.h"

#include <algorithm>

#include "app/MainViewControl.h"

namespace korvane {

void ViewBinding::propertyChanged(Property property) {
    const MainViewControl& control = control_;
    switch (property) {
        case Property::isAuto:
            controls_.showChoice(Element::autoMode, control.isAuto() != 0 ? 1 : 0);
            break;
        case Property::config:
            controls_.showChoice(Element::config, std::clamp(control.config(), 0, 2));
            break;
        case Property::isKmh:
            controls_.showChoice(Element::unit, control.isKmh() != 0 ? 1 : 0);
            break;
        case Property::canConnect:
        case Property::isConnected:
        case Property::isEnabled:
        case Property::isUpdatingFirmware:
            updateEnabledControls();
            break;
        case Property::isUpdateRunning:
            updateEnabledControls();
            controls_.showProgress(progress_.bar(control));  // the time left goes with the update
            break;
        case Property::maxFirmwareCount:
        case Property::currFirmwareCount:
            controls_.showProgress(progress_.bar(control));
            break;
        case Property::connectStatus:
            controls_.showText(Element::connectStatus, control.connectStatus());
            break;
        case Property::connectDetail:
            controls_.showText(Element::connectDetail, control.connectDetail());
            break;
        case Property::setStatus:
            controls_.showText(Element::setStatus, control.setStatus());
            break;
        case Property::firmwareStatus:
            controls_.showText(Element::firmwareStatus, control.firmwareStatus());
            break;
        case Property::firmwareDetail:
            controls_.showText(Element::firmwareDetail, control.firmwareDetail());
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
    controls_.enableControl(Element::connect, control.canConnect());
    controls_.showControl(Element::searchIndicator,
                          !control.canConnect() && !control.isConnected());
    controls_.enableControl(Element::disconnect, control.canDisconnect());
    for (const Element settings : {Element::autoMode, Element::config, Element::unit,
                                   Element::speed, Element::saveSettings, Element::loadSettings}) {
        controls_.enableControl(settings, control.canEditSettings());
    }
    controls_.enableControl(Element::firmware, control.canChooseFile() && !firmwareButtonHeld_);
}

void ViewBinding::setEnabled(bool enabled) {
    firmwareButtonHeld_ = !enabled;
    updateEnabledControls();
}

}  // namespace korvane
