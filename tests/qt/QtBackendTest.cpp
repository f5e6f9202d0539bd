// The link over the Qt serial backend, in real time, against korvane-sim on a pseudo-terminal.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/qt/QtRunLoop.h"
#include "platform/qt/QtSerialPortManager.h"
#include "serial/SimpleSerial.h"
#include "tests/support/LogCapture.h"
#include "tests/support/SimulatorProcess.h"

namespace korvane::testing {
namespace {

class QtBackendTest : public ::testing::Test {
protected:
    // Runs `operation` and the event loop until it completes, for at most 5 s.
    std::optional<bool> complete(const std::function<void(ResultBlock)>& operation) {
        std::optional<bool> result;
        operation([&](bool success) { result = success; });
        runUntil([&] { return result.has_value(); });
        return result;
    }
    static bool runUntil(const std::function<bool()>& done) {
        QElapsedTimer clock;
        clock.start();
        while (!done() && clock.elapsed() < 5000) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        }
        return done();
    }

    QtRunLoop loop;
    QtSerialPortManager ports;
    LogCapture log;
    SimulatorProcess simulator;
    RunLoop::Scope loopScope{loop};
    ORSSerialPortManager::Scope portsScope{ports};
};

// Probed, written and read back, restarted (it hangs up and comes back behind the same path),
// then gone for good: each loss is told once, each time the device left the system is said.
TEST_F(QtBackendTest, ProbeSetRestartAndLoss) {
    const std::string path = simulator.path();
    ASSERT_FALSE(path.empty());
    std::vector<bool> losses;
    const auto probed = [&] {
        auto link = std::make_unique<SimpleSerial>(path);
        link->connectionLostBlock = [&](bool lost) {
            losses.push_back(lost);
        };
        EXPECT_EQ(complete([&](ResultBlock done) { link->probe(done); }), std::optional(true));
        return link;
    };
    auto link = probed();
    EXPECT_EQ(link->settings.speedLimit, 19);
    EXPECT_EQ(log.count("Device " + path + " Opened\r\n"), 1u);
    EXPECT_EQ(complete([&](ResultBlock done) { link->setSpeedLimit(25, done); }),
              std::optional(true));
    EXPECT_EQ(link->settings.speedLimit, 25);
    link->sendReset();
    EXPECT_TRUE(runUntil([&] { return !losses.empty(); }));
    link = probed();
    simulator.stop();
    EXPECT_TRUE(runUntil([&] { return losses.size() == 2; }));
    EXPECT_FALSE(link->receiver().isOpened());
    EXPECT_EQ(losses, (std::vector<bool>{true, true}));
    std::vector<std::string> said;
    std::copy_if(log.lines().begin(), log.lines().end(), std::back_inserter(said),
                 [](const std::string& line) { return line.starts_with("serialPortWas"); });
    const std::vector<std::string> visit = {"serialPortWasOpened", "serialPortWasRemovedFromSystem",
                                            "serialPortWasClosed"};
    EXPECT_EQ(said, (std::vector<std::string>{visit[0], visit[1], visit[2], visit[0], visit[1],
                                              visit[2]}));
    // Its path is gone too: Qt fails the link's second request to open at once, but the error is
    // the first one's, logged once.
    const std::size_t errors = log.countStartingWith("didEncounterError ");
    SimpleSerial gone(path);
    EXPECT_EQ(complete([&](ResultBlock done) { gone.probe(done); }), std::optional(false));
    EXPECT_EQ(log.count("didEncounterError " + path + ": No such file or directory"), 1u);
    EXPECT_EQ(log.countStartingWith("didEncounterError "), errors + 1);
    EXPECT_EQ(log.count("serialPortWasOpened"), 2u);
}

}  // namespace
}  // namespace korvane::testing

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
