#pragma once

#include <QProcess>
#include <QStringList>
#include <string>

namespace korvane::testing {

// korvane-sim started for one test: the path it serves, and a way to make it vanish.
class SimulatorProcess {
public:
    explicit SimulatorProcess(const QStringList& arguments = {});
    ~SimulatorProcess();
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;

    // Empty when it did not start.
    const std::string& path() const { return path_; }
    // Ends it as a pulled cable would: its side of the line closes.
    void stop();

private:
    static constexpr int kStartTimeoutMs = 10000;
    QProcess process_;
    std::string path_;
};

}  // namespace korvane::testing
