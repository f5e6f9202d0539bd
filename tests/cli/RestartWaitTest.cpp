// After flash has restarted the controller it waits for it to come back, on virtual time: back at
// once, back later or elsewhere, never back within the limit, and no wait at all.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "app/cli/ConsoleSession.h"
#include "app/cli/Conversation.h"
#include "app/cli/Verbs.h"
#include "tests/support/SimulatedBench.h"
#include "tests/support/TemporaryFolder.h"

namespace korvane::testing {
namespace {

using ::testing::EndsWith;

constexpr const char* kOtherPath = "/dev/ttySIM1";

class RestartWaitTest : public SimulatedBench {
protected:
    // Silent until a case lets a controller answer there.
    RestartWaitTest() { ports.addDevice(kOtherPath).controller.faults.silent = true; }

    SimulatedController& other() { return ports.device(kOtherPath)->controller; }

    TemporaryFolder folder;
    const std::string firmware = folder.write("firmware.hex", realisticImage(4).file());

    struct Ending {
        int status = -1;
        // From the reset request to the end of the command.
        Duration sinceReset{0};
        // The requests the controller received after the reset.
        std::vector<Bytes> afterReset;
    };

    // Flashes the controller; `atReset` runs once the reset request has reached it.
    Ending flash(std::vector<std::string> words, bool fast, bool severalAtOnce,
                 const std::function<void()>& atReset) {
        words.insert(words.begin(), {firmware, "--yes"});
        ConsoleSession session(out, err);
        session.control().setFastTransfers(fast);
        session.setSharesOutput(severalAtOnce);
        std::optional<int> status;
        session.setOnFinished([&](int result) { status = result; });
        parseFlash(words).start(session);
        const auto reset = [&] {
            return std::find_if(wire().begin(), wire().end(),
                                [](const Bytes& request) { return request[1] == 0x09; });
        };
        loop.runUntil([&] { return reset() != wire().end() || status.has_value(); });
        if (reset() == wire().end()) {
            ADD_FAILURE() << "no reset";
            return {};
        }
        const Duration resetAt = loop.now();
        const auto seen = reset() - wire().begin() + 1;
        atReset();
        loop.runUntil([&] { return status.has_value(); });
        return {status.value_or(-1), loop.now() - resetAt,
                std::vector<Bytes>(wire().begin() + seen, wire().end())};
    }

    std::ostringstream out;
    std::ostringstream err;
};

const std::vector<Bytes> kProbe = {{0x55, 0x00, 0, 0, 0, 0, 0, 0, 0, 0},
                                   {0x55, 0x04, 0x0C, 0, 0, 0, 0x10, 0, 0xF0, 0}};
// What flash says while it waits `limit` seconds, and when the controller is not back by then.
std::string waiting(int limit) {
    return "The device is rebooting; waiting up to " + std::to_string(limit) +
           " s for it to come back\n";
}
std::string notBackWithin(int limit) {
    return "Not back within " + std::to_string(limit) +
           " s: the firmware is written and verified, but the controller has not answered since "
           "its restart; check its cable and power, then run korvane-cli info\n";
}
constexpr std::array<std::uint8_t, 2> kBeef = {0xBE, 0xEF};
constexpr std::optional<Duration> kForGood;

TEST_F(RestartWaitTest, BackOrNotWithinTheLimitCountedFromTheRestart) {
    const struct {
        const char* what;
        // --wait-back's seconds; 15 without it.
        int limit;
        bool fast;
        // How long the restart keeps the controller away.
        std::optional<Duration> absence;
        // Once the controller has restarted, a controller of this id answers on the other port.
        std::optional<std::array<std::uint8_t, 2>> otherAnswers;
        bool severalAtOnce;
        Duration sinceReset;
        // How flash says it is back, before the identity; empty: not back.
        std::string back;
    } cases[] = {
        // The notice at 1 s, then the port's open check (1 s), identify and the settings read.
        {"back at once", 15, false, Duration{0}, {}, false, Duration{2400}, "Back after 2.4 s"},
        {"back at once, fast",
         15,
         true,
         Duration{0},
         {},
         false,
         Duration{1010},
         "Back after 1.0 s"},
        // Rounds at 1 s and 2.25 s find no port; the third, at 3.5 s, finds it.
        {"back after 3 s",
         15,
         false,
         Duration{3000},
         {},
         false,
         Duration{4900},
         "Back after 4.9 s"},
        {"never back", 15, false, kForGood, {}, false, Duration{15000}, ""},
        {"back on another port", 15, false, kForGood, kBeef, false, Duration{2400},
         "Back on /dev/ttySIM1 after 2.4 s"},
        // Several controllers of one device id cannot be told apart on another port.
        {"back on another port, with others at once", 15, false, kForGood, kBeef, true,
         Duration{15000}, ""},
        {"another device id on another port", 15, false, kForGood,
         std::array<std::uint8_t, 2>{0x12, 0x34}, false, Duration{15000}, ""},
        {"no wait", 0, false, kForGood, {}, false, Duration{1000}, ""},
        // The limit comes with the port's open check: too late.
        {"a limit of 2 s", 2, false, Duration{0}, {}, false, Duration{2000}, ""},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.what);
        controller().setPresent(true);
        controller().restartAbsence = each.absence;
        other() = SimulatedController();
        other().faults.silent = true;
        device().clearRequests();
        out.str("");
        err.str("");
        std::vector<std::string> words;
        if (each.limit != 15) {
            words = {"--wait-back", std::to_string(each.limit)};
        }
        const Ending ending = flash(words, each.fast, each.severalAtOnce, [&] {
            if (each.otherAnswers) {
                other().faults.silent = false;
                other().deviceId = *each.otherAnswers;
            }
        });
        const bool back = !each.back.empty();
        const std::string said =
            each.limit == 0
                ? "The device is rebooting.\nRun korvane-cli info again once it is back.\n"
            : back ? waiting(each.limit) + each.back +
                         ": Bootloader: 012A, Device ID: BEEF, Soft: 07\n"
                   : waiting(each.limit);
        EXPECT_EQ(ending.status, back || each.limit == 0 ? 0 : kNotBack);
        EXPECT_THAT(out.str(), EndsWith(said));
        EXPECT_EQ(err.str(), back || each.limit == 0 ? "" : notBackWithin(each.limit));
        EXPECT_EQ(ending.sinceReset, each.sinceReset);
        // Back on its own port: found by the search's identify and settings read there.
        EXPECT_EQ(ending.afterReset,
                  each.back.starts_with("Back after") ? kProbe : std::vector<Bytes>{});
    }
}

TEST_F(RestartWaitTest, ASignalDuringTheWaitSaysTheFirmwareIsThereAndTheControllerNotYet) {
    controller().restartAbsence.reset();
    ConsoleSession session(out, err);
    parseFlash({firmware, "--yes"}).start(session);
    loop.runUntil([&] { return out.str().ends_with(waiting(15)); });
    loop.runFor(Duration{5000});
    const Interruption left = session.interruption();
    EXPECT_EQ(left.statement,
              "The firmware is written and verified; the controller restarted and has not been "
              "seen back yet.\nRun korvane-cli info again once it is back.");
    EXPECT_EQ(left.statusWhenDone, std::optional(0));
}

}  // namespace
}  // namespace korvane::testing
