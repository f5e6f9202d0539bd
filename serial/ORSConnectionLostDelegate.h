#pragma once

namespace korvane {

class ORSDelegate;

// How a port's delegate tells its link that the port closed.
class ORSConnectionLostDelegate {
public:
    virtual void connectionLost(ORSDelegate& notifier) = 0;

protected:
    // A link is always destroyed as a SimpleSerial, never through this interface.
    ~ORSConnectionLostDelegate() = default;
};

}  // namespace korvane
