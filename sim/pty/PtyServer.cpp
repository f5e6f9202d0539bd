#include "sim/pty/PtyServer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/Log.h"

namespace korvane {

namespace {

void makeRaw(int fd) {
    termios settings{};
    if (tcgetattr(fd, &settings) == 0) {
        cfmakeraw(&settings);
        tcsetattr(fd, TCSANOW, &settings);
    }
}

// Points `link` at `target` in one step. The temporary name is this process's own, so nothing
// of anybody else's is touched on the way.
bool pointLink(const std::string& link, const std::string& target) {
    const std::string temporary = link + ".korvane-sim-" + std::to_string(::getpid());
    if (::symlink(target.c_str(), temporary.c_str()) != 0) {
        return false;
    }
    if (::rename(temporary.c_str(), link.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

bool isSymbolicLink(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
}

}  // namespace

PtyServer::PtyServer(SimulatedController& controller, Options options)
    : controller_(controller),
      options_(std::move(options)),
      replies_([this](ByteView bytes) { write(bytes); }) {}

PtyServer::~PtyServer() {
    closeTerminal();
    if (linked_ && isSymbolicLink(options_.linkPath)) {
        ::unlink(options_.linkPath.c_str());
    }
}

bool PtyServer::pathTaken(const std::string& path) {
    struct stat existing {};
    return ::lstat(path.c_str(), &existing) == 0;
}

bool PtyServer::start(std::string& reason) {
    if (pathTaken(options_.linkPath)) {
        reason = options_.linkPath + " already exists; name a path that does not";
        return false;
    }
    if (!openTerminal(reason)) {
        return false;
    }
    if (!pointLink(options_.linkPath, terminalPath_)) {
        reason = "cannot create " + options_.linkPath + ": " + std::strerror(errno);
        return false;
    }
    linked_ = true;
    return true;
}

bool PtyServer::openTerminal(std::string& reason) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        reason = std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
        closeTerminal();
        return false;
    }
    const char* slave = ::ptsname(master_);
    terminalPath_ = slave != nullptr ? slave : "";
    heldSlave_ = ::open(terminalPath_.c_str(), O_RDWR | O_NOCTTY);
    if (heldSlave_ < 0) {
        reason = "cannot open " + terminalPath_ + ": " + std::strerror(errno);
        closeTerminal();
        return false;
    }
    makeRaw(heldSlave_);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    notifier_ = std::make_unique<QSocketNotifier>(master_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, this, &PtyServer::readable);
    return true;
}

void PtyServer::closeTerminal() {
    notifier_.reset();
    replies_.cancel();
    timers_.cancelAll();
    for (int* fd : {&master_, &heldSlave_}) {
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    }
}

void PtyServer::readable() {
    std::array<std::uint8_t, 4096> buffer{};
    const ssize_t length = ::read(master_, buffer.data(), buffer.size());
    if (length <= 0) {
        return;
    }
    const ByteView request(buffer.data(), static_cast<std::size_t>(length));
    logLine("request " + describeBytes(request));
    const SimulatedController::Response response = controller_.receive(request);
    for (const Bytes& reply : response.replies) {
        logLine("reply " + describeBytes(reply));
        replies_.post(reply, options_.timing);
    }
    if (response.unplugged) {
        logLine("unplugged");
        timers_.schedule(Duration{0}, [this] { hangUp(); });
    } else if (response.restarting && options_.restartClosesPort) {
        logLine("restarting");
        timers_.schedule(options_.timing.latency, [this] {
            if (options_.restartAbsence == Duration{0}) {
                hangUp();
                return;
            }
            // Off the bus: the terminal hangs up and its link goes, as a USB device's node does.
            closeTerminal();
            if (isSymbolicLink(options_.linkPath)) {
                ::unlink(options_.linkPath.c_str());
            }
            if (!options_.restartAbsence) {
                logLine("gone for good");
                return;
            }
            logLine("away");
            timers_.schedule(*options_.restartAbsence, [this] { comeBack(); });
        });
    }
}

void PtyServer::write(ByteView bytes) {
    std::size_t done = 0;
    while (master_ >= 0 && done < bytes.size()) {
        const ssize_t written = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;  // nobody reads the line: the rest is lost, as on a real one
        }
        done += static_cast<std::size_t>(written);
    }
}

void PtyServer::comeBack() {
    std::string reason;
    if (pathTaken(options_.linkPath)) {
        logLine("cannot come back: " + options_.linkPath + " was taken meanwhile");
        return;
    }
    if (!openTerminal(reason) || !pointLink(options_.linkPath, terminalPath_)) {
        logLine("cannot come back: " + reason);
        return;
    }
    logLine("back on " + terminalPath_);
}

void PtyServer::hangUp() {
    closeTerminal();
    std::string reason;
    if (!openTerminal(reason) || !pointLink(options_.linkPath, terminalPath_)) {
        logLine("cannot come back: " + reason);
        return;
    }
    logLine("back on " + terminalPath_);
}

}  // namespace korvane
