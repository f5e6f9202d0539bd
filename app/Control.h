#pragma once

namespace korvane {

// A control of the window that sent an action, as far as the controller touches it.
class Control {
public:
    virtual void setEnabled(bool enabled) = 0;

protected:
    ~Control() = default;
};

}  // namespace korvane
