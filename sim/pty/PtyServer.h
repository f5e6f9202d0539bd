#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>
#include <optional>
#include <string>

#include "platform/TimerGroup.h"
#include "sim/ReplyScheduler.h"
#include "sim/SimulatedController.h"

namespace korvane {

// Serves the simulated controller on a pseudo-terminal, behind a stable symbolic link. When the
// device restarts or vanishes, the terminal is hung up, as a USB serial device disappears, and a
// new one takes its place behind the same link.
class PtyServer final : public QObject {
public:
    struct Options {
        std::string linkPath;
        LineTiming timing;
        bool restartClosesPort = true;
        // How long a restart keeps the device away, its link gone meanwhile; none: for good.
        std::optional<Duration> restartAbsence = Duration{0};
    };

    PtyServer(SimulatedController& controller, Options options);
    ~PtyServer() override;

    // Opens the terminal and points the link at it; false with the reason when it cannot. A path
    // that exists already is never replaced.
    bool start(std::string& reason);

    // Something (a file, a folder, a dangling link) is at `path`.
    static bool pathTaken(const std::string& path);

    const std::string& linkPath() const { return options_.linkPath; }
    const std::string& terminalPath() const { return terminalPath_; }

private:
    bool openTerminal(std::string& reason);
    void closeTerminal();
    void readable();
    void write(ByteView bytes);
    void hangUp();
    // The restarted device comes back on a new terminal behind the link, unless the path was
    // taken meanwhile.
    void comeBack();

    SimulatedController& controller_;
    Options options_;
    int master_ = -1;
    // Held open so that the master does not see a hang-up each time the host closes its side.
    int heldSlave_ = -1;
    std::string terminalPath_;
    // The link is this server's own, to be removed at the end.
    bool linked_ = false;
    std::unique_ptr<QSocketNotifier> notifier_;
    ReplyScheduler replies_;
    TimerGroup timers_;
};

}  // namespace korvane
