#pragma once

#include <QObject>
#include <QSerialPort>

#include "platform/ORSSerialPort.h"
#include "platform/PortError.h"

namespace korvane {

// A serial port through Qt SerialPort: 19200 baud, 8N1, no flow control, DTR and RTS not
// asserted. An unplugged device shows up as a resource error, which closes the port and reports
// the close.
class QtSerialPort final : public QObject, public ORSSerialPort {
public:
    // `usbIds` as the system listed them: looking them up per port would walk every port again.
    QtSerialPort(const std::string& path, std::optional<UsbIds> usbIds);
    ~QtSerialPort() override;

    void setDelegate(ORSSerialPortDelegate* delegate) override { delegate_ = delegate; }
    void open() override;
    void close() override;
    bool sendData(ByteView data) override;
    std::string name() const override;
    std::string path() const override { return path_; }
    std::optional<UsbIds> usbIds() const override { return usbIds_; }

private:
    void applyLineSettings();
    void received();
    void failed(QSerialPort::SerialPortError error);
    PortErrorKind kindOf(QSerialPort::SerialPortError error) const;

    std::string path_;
    std::optional<UsbIds> usbIds_;
    QSerialPort port_;
    ORSSerialPortDelegate* delegate_ = nullptr;
    // Line settings a port cannot take (DTR on a pseudo-terminal) are logged, not reported.
    bool applyingSettings_ = false;
    // A lost device was seen and its close is on the way.
    bool goingAway_ = false;
    // An open was asked for and its outcome is not reported yet.
    bool opening_ = false;
};

}  // namespace korvane
