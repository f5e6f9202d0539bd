#pragma once

#include <string>

#include "platform/ORSSerialPort.h"
#include "platform/PortError.h"

namespace korvane {

// A serial port this page was granted, through the browser's Web Serial API: 19200 baud, 8N1, no
// flow control, DTR and RTS not asserted. The browser answers later; its answers come back to the
// port object that asked, and none comes once that object is gone.
class WebSerialPort final : public ORSSerialPort {
public:
    // `number`: the port's place among the ports granted since the page was loaded.
    WebSerialPort(int number, std::string path, std::optional<UsbIds> usbIds);
    ~WebSerialPort() override;
    WebSerialPort(const WebSerialPort&) = delete;
    WebSerialPort& operator=(const WebSerialPort&) = delete;

    void setDelegate(ORSSerialPortDelegate* delegate) override { delegate_ = delegate; }
    void open() override;
    void close() override;
    bool sendData(ByteView data) override;
    std::string name() const override { return path_; }
    std::string path() const override { return path_; }
    std::optional<UsbIds> usbIds() const override { return usbIds_; }

    // The browser's answers.
    void opened();
    void received(ByteView data);
    void failed(PortError error);
    // The device went away: the reading's error, the removal, then the close.
    void lost(const std::string& why);

private:
    enum class State { closed, opening, open };

    int number_;
    std::string path_;
    std::optional<UsbIds> usbIds_;
    ORSSerialPortDelegate* delegate_ = nullptr;
    State state_ = State::closed;
};

}  // namespace korvane
