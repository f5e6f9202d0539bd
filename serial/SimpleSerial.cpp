#include "serial/SimpleSerial.h"

namespace korvane {

namespace {

// The port stands in for a missing one so that every request to it quietly does nothing.
class MissingPort final : public ORSSerialPort {
public:
    explicit MissingPort(std::string path) : path_(std::move(path)) {}
    void setDelegate(ORSSerialPortDelegate*) override {}
    void open() override {}
    void close() override {}
    bool sendData(ByteView) override { return false; }
    std::string name() const override { return {}; }
    std::string path() const override { return path_; }
    std::optional<UsbIds> usbIds() const override { return std::nullopt; }

private:
    std::string path_;
};

}  // namespace

SimpleSerial::SimpleSerial(std::string path, TransferMode mode)
    : portDelegate(std::make_unique<ORSDelegate>()), portPath_(std::move(path)), mode_(mode) {
    if (mode_ == TransferMode::fast) {
        portDelegate->dataArrived = [this] {
            dataArrived();
        };
        portDelegate->opened = [this] {
            if (openCompletion_) {
                timers.schedule(Duration{0}, [this] { openChecked(); });
            }
        };
    }
    serialPort = ORSSerialPort::serialPortWithPath(portPath_);
    if (!serialPort) {
        serialPort = std::make_unique<MissingPort>(portPath_);
    }
    serialPort->setDelegate(portDelegate.get());
    serialPort->open();
}

SimpleSerial::~SimpleSerial() {
    timers.cancelAll();
    // Detach before closing, so that the close is not reported as a lost device.
    portDelegate->dataArrived = nullptr;
    portDelegate->opened = nullptr;
    portDelegate->setDelegate(nullptr);
    serialPort->setDelegate(nullptr);
    serialPort->close();
}

void SimpleSerial::connectionLost(ORSDelegate&) {
    if (connectionLostBlock) {
        // A copy: the block may replace or clear the member while it runs.
        const ConnectionLostBlock block = connectionLostBlock;
        block(true);
    }
}

}  // namespace korvane
