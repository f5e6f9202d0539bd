#pragma once

#include <cstddef>
#include <string>

#include "app/Control.h"
#include "app/FirmwareProgress.h"
#include "app/Property.h"

namespace korvane {

class MainViewControl;

// The controls of the controller's view, as every front end has them.
enum class Element {
    connect,
    disconnect,
    searchIndicator,
    autoMode,
    config,
    unit,
    speed,
    saveSettings,
    loadSettings,
    firmware,
    connectStatus,
    connectDetail,
    setStatus,
    firmwareStatus,
    firmwareDetail,
};
inline constexpr std::size_t kElementCount = static_cast<std::size_t>(Element::firmwareDetail) + 1;

// A front end's controls, as the binding sets them.
class ViewControls {
public:
    virtual void showText(Element label, const std::string& text) = 0;
    // The choice shown: automatic mode off or on (0, 1), the configuration (0 to 2), the unit
    // (0 mph, 1 km/h).
    virtual void showChoice(Element choices, int index) = 0;
    virtual void enableControl(Element control, bool enabled) = 0;
    virtual void showControl(Element control, bool shown) = 0;
    virtual void showProgress(const FirmwareBar& bar) = 0;

protected:
    ~ViewControls() = default;
};

// The one place where the controller's properties reach a front end's controls. It is also the
// firmware button as the controller's sender, which the controller holds off while its file panel
// is open.
class ViewBinding final : public Control {
public:
    ViewBinding(const MainViewControl& control, ViewControls& controls)
        : control_(control), controls_(controls) {}

    void propertyChanged(Property property);
    void setEnabled(bool enabled) override;

private:
    void updateEnabledControls();

    const MainViewControl& control_;
    ViewControls& controls_;
    FirmwareProgress progress_;
    bool firmwareButtonHeld_ = false;
};

}  // namespace korvane
