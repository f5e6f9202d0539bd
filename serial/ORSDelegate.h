#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/ORSSerialPortDelegate.h"
#include "util/Bytes.h"

namespace korvane {

class ORSConnectionLostDelegate;

// Receives a port's callbacks: collects the received bytes and the open flag, and reports a closed
// port to the link attached to it.
class ORSDelegate final : public ORSSerialPortDelegate {
public:
    // No reply is longer than a few hundred bytes; a device that talks on and on while nobody
    // waits keeps only its latest bytes, so neither memory nor the log grows without end.
    static constexpr std::size_t kMaxBuffered = 64 * 1024;

    ORSDelegate() = default;
    ORSDelegate(const ORSDelegate&) = delete;
    ORSDelegate& operator=(const ORSDelegate&) = delete;

    // Discards every byte received so far.
    void resetData();
    const std::uint8_t* data() const { return total.data(); }
    std::uint64_t dataLength() const { return total.size(); }

    void serialPortWasRemovedFromSystem(ORSSerialPort& port) override;
    void serialPortDidReceiveData(ORSSerialPort& port, ByteView data) override;
    void serialPortDidEncounterError(ORSSerialPort& port, const PortError& error) override;
    void serialPortWasOpened(ORSSerialPort& port) override;
    void serialPortWasClosed(ORSSerialPort& port) override;

    bool isOpened() const { return _isOpened; }
    // The last error the port reported, if any: why it did not open.
    const std::optional<PortError>& lastError() const { return lastError_; }
    ORSConnectionLostDelegate* delegate() const { return _delegate; }
    // Not owned: the link to tell of a close, or none.
    void setDelegate(ORSConnectionLostDelegate* delegate) { _delegate = delegate; }

    // Told after bytes were added and after the port opened, for waits that end as soon as they
    // can. Called from within the port's callback.
    std::function<void()> dataArrived;
    std::function<void()> opened;

private:
    Bytes total;
    bool _isOpened = false;
    std::optional<PortError> lastError_;
    ORSConnectionLostDelegate* _delegate = nullptr;
};

}  // namespace korvane
