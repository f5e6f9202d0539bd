#include "tests/support/SimulatorProcess.h"

namespace korvane::testing {

SimulatorProcess::SimulatorProcess(const QStringList& arguments) {
    process_.setProgram(QStringLiteral(KORVANE_SIM_BINARY));
    process_.setArguments(arguments);
    process_.setProcessChannelMode(QProcess::SeparateChannels);
    process_.start();
    if (!process_.waitForStarted(kStartTimeoutMs)) {
        return;
    }
    while (!process_.canReadLine() && process_.waitForReadyRead(kStartTimeoutMs)) {
    }
    // "Serving the simulated controller on PATH"
    const QString line = QString::fromUtf8(process_.readLine()).trimmed();
    path_ = line.section(QLatin1Char(' '), -1).toStdString();
}

SimulatorProcess::~SimulatorProcess() {
    stop();
}

void SimulatorProcess::stop() {
    if (process_.state() != QProcess::NotRunning) {
        process_.terminate();
        process_.waitForFinished(kStartTimeoutMs);
    }
}

}  // namespace korvane::testing
