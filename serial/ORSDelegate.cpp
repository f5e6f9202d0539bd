#include "serial/ORSDelegate.h"

#include "platform/Log.h"
#include "serial/ORSConnectionLostDelegate.h"

namespace korvane {

void ORSDelegate::resetData() {
    // A fresh buffer, not a truncated one: a long garbage burst gives its memory back.
    total = Bytes{};
}

void ORSDelegate::serialPortWasRemovedFromSystem(ORSSerialPort&) {
    // Only logged: the close that follows is how the link learns of the loss.
    logLine("serialPortWasRemovedFromSystem");
}

void ORSDelegate::serialPortDidReceiveData(ORSSerialPort&, ByteView data) {
    total.insert(total.end(), data.begin(), data.end());
    if (total.size() > kMaxBuffered) {
        total.erase(total.begin(), total.end() - static_cast<std::ptrdiff_t>(kMaxBuffered));
    }
    if (logKeepsLines()) {
        logLine("didReceiveData " + describeBytes(data) + ", total: " + describeBytes(total));
    }
    if (dataArrived) {
        dataArrived();
    }
}

void ORSDelegate::serialPortDidEncounterError(ORSSerialPort&, const PortError& error) {
    logLine("didEncounterError " + error.text);
    lastError_ = error;
}

void ORSDelegate::serialPortWasOpened(ORSSerialPort&) {
    logLine("serialPortWasOpened");
    _isOpened = true;
    if (opened) {
        opened();
    }
}

void ORSDelegate::serialPortWasClosed(ORSSerialPort&) {
    logLine("serialPortWasClosed");
    _isOpened = false;
    if (_delegate != nullptr) {
        _delegate->connectionLost(*this);
    }
}

}  // namespace korvane
