#pragma once

#include <memory>

#include "platform/ORSSerialPort.h"
#include "platform/ORSSerialPortDelegate.h"
#include "platform/TimerGroup.h"
#include "sim/ReplyScheduler.h"

namespace korvane {

class SimulatedDevice;

// A port object on a simulated device. Like a real one, it opens and reports later, takes bytes
// while open, and reports a close also when the device goes away.
class SimulatedPort final : public ORSSerialPort {
public:
    explicit SimulatedPort(std::shared_ptr<SimulatedDevice> device);
    ~SimulatedPort() override;
    SimulatedPort(const SimulatedPort&) = delete;
    SimulatedPort& operator=(const SimulatedPort&) = delete;

    void setDelegate(ORSSerialPortDelegate* delegate) override { delegate_ = delegate; }
    void open() override;
    void close() override;
    bool sendData(ByteView data) override;
    std::string name() const override;
    std::string path() const override;
    std::optional<UsbIds> usbIds() const override;

    bool isOpen() const { return state_ == State::Open; }
    // The device went away or restarted: it left the system, and the port closes.
    void closeFromDevice();

private:
    friend class SimulatedDevice;
    enum class State { Closed, Opening, Open };

    void opened();
    void delivered(ByteView data);
    bool deviceTakenByAnother() const;

    std::shared_ptr<SimulatedDevice> device_;
    ORSSerialPortDelegate* delegate_ = nullptr;
    State state_ = State::Closed;
    ReplyScheduler replies_;
    TimerGroup timers_;
};

}  // namespace korvane
