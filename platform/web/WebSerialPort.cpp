#include "platform/web/WebSerialPort.h"

#include <emscripten.h>

#include "platform/ORSSerialPortDelegate.h"

using korvane::WebSerialPort;

extern "C" {
// Each request names the port object that asks; the browser's answers name it again.
void korvane_serial_open(WebSerialPort* port, int number);
void korvane_serial_close(WebSerialPort* port);
bool korvane_serial_write(WebSerialPort* port, const std::uint8_t* data, std::size_t size);

EMSCRIPTEN_KEEPALIVE void korvane_serial_opened(WebSerialPort* port) {
    port->opened();
}
EMSCRIPTEN_KEEPALIVE void korvane_serial_received(WebSerialPort* port, const std::uint8_t* data,
                                                  std::size_t size) {
    port->received({data, size});
}
// `inUse`: the browser says the port is open already.
EMSCRIPTEN_KEEPALIVE void korvane_serial_failed(WebSerialPort* port, bool inUse, const char* why) {
    port->failed({inUse ? korvane::PortErrorKind::inUse : korvane::PortErrorKind::other,
                  port->path() + ": " + why});
}
EMSCRIPTEN_KEEPALIVE void korvane_serial_lost(WebSerialPort* port, const char* why) {
    port->lost(why);
}
}

namespace korvane {

WebSerialPort::WebSerialPort(int number, std::string path, std::optional<UsbIds> usbIds)
    : number_(number), path_(std::move(path)), usbIds_(usbIds) {}

WebSerialPort::~WebSerialPort() {
    korvane_serial_close(this);
}

void WebSerialPort::open() {
    if (state_ != State::closed) {
        return;
    }
    state_ = State::opening;
    korvane_serial_open(this, number_);
}

void WebSerialPort::opened() {
    state_ = State::open;
    if (delegate_ != nullptr) {
        delegate_->serialPortWasOpened(*this);
    }
}

void WebSerialPort::close() {
    const bool wasOpen = state_ == State::open;
    state_ = State::closed;
    korvane_serial_close(this);
    if (wasOpen && delegate_ != nullptr) {
        delegate_->serialPortWasClosed(*this);
    }
}

bool WebSerialPort::sendData(ByteView data) {
    return state_ == State::open && korvane_serial_write(this, data.data(), data.size());
}

void WebSerialPort::received(ByteView data) {
    if (delegate_ != nullptr) {
        delegate_->serialPortDidReceiveData(*this, data);
    }
}

void WebSerialPort::failed(PortError error) {
    state_ = State::closed;
    if (delegate_ != nullptr) {
        delegate_->serialPortDidEncounterError(*this, error);
    }
}

void WebSerialPort::lost(const std::string& why) {
    if (delegate_ != nullptr) {
        delegate_->serialPortDidEncounterError(*this, {PortErrorKind::other, path_ + ": " + why});
    }
    if (state_ == State::open && delegate_ != nullptr) {
        delegate_->serialPortWasRemovedFromSystem(*this);
    }
    close();
}

}  // namespace korvane
