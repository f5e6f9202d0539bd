#include "platform/qt/QtSerialPort.h"

#include "platform/Log.h"
#include "platform/ORSSerialPortDelegate.h"

#ifndef _WIN32
#include <unistd.h>

#include <cerrno>
#endif

namespace korvane {

namespace {

constexpr qint32 kBaudRate = 19200;

}  // namespace

QtSerialPort::QtSerialPort(const std::string& path, std::optional<UsbIds> usbIds)
    : path_(path), usbIds_(usbIds) {
    port_.setPortName(QString::fromStdString(path));
    QObject::connect(&port_, &QSerialPort::readyRead, this, &QtSerialPort::received);
    QObject::connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialPort::failed);
}

QtSerialPort::~QtSerialPort() {
    delegate_ = nullptr;
    port_.close();
}

void QtSerialPort::open() {
    // Qt fails at once, so a second request before the first one's outcome is reported would only
    // fail and report the same error again; like the simulated port, it waits for that outcome.
    if (port_.isOpen() || opening_) {
        return;
    }
    opening_ = true;
    // A failure is reported by failed(), from the run loop ahead of the call below.
    if (port_.open(QIODevice::ReadWrite)) {
        applyLineSettings();
    }
    // Reported from the run loop, never within the call.
    QMetaObject::invokeMethod(
        this,
        [this] {
            opening_ = false;
            if (port_.isOpen() && delegate_ != nullptr) {
                delegate_->serialPortWasOpened(*this);
            }
        },
        Qt::QueuedConnection);
}

void QtSerialPort::applyLineSettings() {
    applyingSettings_ = true;
    const auto check = [this](const char* what, bool applied) {
        if (!applied) {
            logLine("Could not set " + std::string(what) + " on " + path_ + ": " +
                    port_.errorString().toStdString());
            port_.clearError();
        }
    };
    check("baud rate", port_.setBaudRate(kBaudRate));
    check("data bits", port_.setDataBits(QSerialPort::Data8));
    check("parity", port_.setParity(QSerialPort::NoParity));
    check("stop bits", port_.setStopBits(QSerialPort::OneStop));
    check("flow control", port_.setFlowControl(QSerialPort::NoFlowControl));
    check("DTR", port_.setDataTerminalReady(false));
    check("RTS", port_.setRequestToSend(false));
    applyingSettings_ = false;
}

void QtSerialPort::close() {
    if (!port_.isOpen()) {
        return;
    }
    port_.close();
    if (delegate_ != nullptr) {
        delegate_->serialPortWasClosed(*this);
    }
}

bool QtSerialPort::sendData(ByteView data) {
    if (!port_.isOpen()) {
        return false;
    }
    const qint64 written =
        port_.write(reinterpret_cast<const char*>(data.data()), static_cast<qint64>(data.size()));
    return written == static_cast<qint64>(data.size());
}

std::string QtSerialPort::name() const {
    return port_.portName().toStdString();
}

void QtSerialPort::received() {
    const QByteArray chunk = port_.readAll();
    if (!chunk.isEmpty() && delegate_ != nullptr) {
        delegate_->serialPortDidReceiveData(
            *this, ByteView(reinterpret_cast<const std::uint8_t*>(chunk.constData()),
                            static_cast<std::size_t>(chunk.size())));
    }
}

void QtSerialPort::failed(QSerialPort::SerialPortError error) {
    if (error == QSerialPort::NoError || applyingSettings_ || goingAway_) {
        return;
    }
    // A vanished device shows up as a resource error, or on a pseudo-terminal as reads that end
    // the stream; both only repeat until the port is closed.
    goingAway_ = error == QSerialPort::ResourceError || error == QSerialPort::ReadError;
    const PortError reason{kindOf(error), path_ + ": " + port_.errorString().toStdString()};
    // Handled from the run loop: Qt is still inside its own notification here.
    QMetaObject::invokeMethod(
        this,
        [this, reason] {
            if (delegate_ != nullptr) {
                delegate_->serialPortDidEncounterError(*this, reason);
            }
            if (goingAway_) {
                goingAway_ = false;
                if (delegate_ != nullptr) {
                    delegate_->serialPortWasRemovedFromSystem(*this);
                }
                close();
            }
        },
        Qt::QueuedConnection);
}

PortErrorKind QtSerialPort::kindOf(QSerialPort::SerialPortError error) const {
    if (error != QSerialPort::PermissionError) {
        return PortErrorKind::other;
    }
    // Qt says "permission" both for a port this user may not open and for one that another
    // program has locked or opened exclusively: only the first fails the access check.
#ifdef _WIN32
    return PortErrorKind::inUse;
#else
    return ::access(path_.c_str(), R_OK | W_OK) != 0 && errno == EACCES
               ? PortErrorKind::noPermission
               : PortErrorKind::inUse;
#endif
}

}  // namespace korvane
