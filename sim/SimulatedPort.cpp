#include "sim/SimulatedPort.h"

#include <algorithm>

#include "sim/SimulatedDevice.h"

namespace korvane {

SimulatedPort::SimulatedPort(std::shared_ptr<SimulatedDevice> device)
    : device_(std::move(device)), replies_([this](ByteView data) { delivered(data); }) {
    device_->attach(*this);
}

SimulatedPort::~SimulatedPort() {
    device_->detach(*this);
}

void SimulatedPort::open() {
    if (state_ != State::Closed) {
        return;
    }
    state_ = State::Opening;
    if (device_->portFaults.neverOpens) {
        return;
    }
    timers_.schedule(device_->portFaults.openDelay, [this] { opened(); });
}

void SimulatedPort::opened() {
    if (!device_->present()) {
        state_ = State::Closed;
        if (delegate_ != nullptr) {
            delegate_->serialPortDidEncounterError(
                *this, {PortErrorKind::other, device_->path() + ": No such file or directory"});
        }
        return;
    }
    if (device_->portFaults.noAccess) {
        state_ = State::Closed;
        if (delegate_ != nullptr) {
            delegate_->serialPortDidEncounterError(
                *this, {PortErrorKind::noPermission, device_->path() + ": Permission denied"});
        }
        return;
    }
    if (deviceTakenByAnother()) {
        // Serial ports are opened exclusively.
        state_ = State::Closed;
        if (delegate_ != nullptr) {
            delegate_->serialPortDidEncounterError(
                *this, {PortErrorKind::inUse, device_->path() + ": Resource busy"});
        }
        return;
    }
    state_ = State::Open;
    if (delegate_ != nullptr) {
        delegate_->serialPortWasOpened(*this);
    }
}

bool SimulatedPort::deviceTakenByAnother() const {
    return device_->openPorts() != 0;
}

void SimulatedPort::close() {
    const bool wasOpen = state_ == State::Open;
    state_ = State::Closed;
    timers_.cancelAll();
    replies_.cancel();
    if (wasOpen && delegate_ != nullptr) {
        delegate_->serialPortWasClosed(*this);
    }
}

void SimulatedPort::closeFromDevice() {
    if (state_ == State::Open) {
        if (delegate_ != nullptr) {
            delegate_->serialPortWasRemovedFromSystem(*this);
        }
        close();
    }
}

bool SimulatedPort::sendData(ByteView data) {
    const std::uint64_t send = ++device_->sends_;
    if (state_ != State::Open) {
        ++device_->sendsWhileClosed_;
        return false;
    }
    const PortFaults& faults = device_->portFaults;
    if (faults.refusesSend || send == faults.refuseSendAt) {
        return false;
    }
    const SimulatedController::Response response = device_->controller.receive(data);
    for (const Bytes& reply : response.replies) {
        replies_.post(reply, device_->timing);
    }
    if (response.unplugged) {
        timers_.schedule(Duration{0}, [device = device_] { device->unplug(); });
    }
    if (response.restarting && device_->restartClosesPort) {
        timers_.schedule(device_->timing.latency, [device = device_] { device->restart(); });
    }
    return true;
}

void SimulatedPort::delivered(ByteView data) {
    if (state_ == State::Open && delegate_ != nullptr) {
        delegate_->serialPortDidReceiveData(*this, data);
    }
}

std::string SimulatedPort::name() const {
    return device_->name();
}

std::string SimulatedPort::path() const {
    return device_->path();
}

std::optional<UsbIds> SimulatedPort::usbIds() const {
    return device_->usbIds();
}

}  // namespace korvane
