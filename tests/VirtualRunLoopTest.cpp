#include <gtest/gtest.h>

#include <string>

#include "platform/TimerGroup.h"
#include "platform/VirtualRunLoop.h"

namespace korvane {
namespace {

TEST(VirtualRunLoopTest, FiresInDueOrderAndTiesInArmingOrder) {
    VirtualRunLoop loop;
    std::string order;
    loop.schedule(Duration{20}, [&] { order += 'c'; });
    loop.schedule(Duration{10}, [&] { order += 'a'; });
    loop.schedule(Duration{10}, [&] {
        order += 'b';
        loop.schedule(Duration{0}, [&] { order += 'B'; });
    });
    const TimerId cancelled = loop.schedule(Duration{15}, [&] { order += 'x'; });
    loop.cancel(cancelled);
    loop.cancel(cancelled);
    loop.runFor(Duration{15});
    EXPECT_EQ(order, "abB");
    EXPECT_EQ(loop.now(), Duration{15});
    loop.runUntilIdle();
    EXPECT_EQ(order, "abBc");
    EXPECT_EQ(loop.now(), Duration{20});
}

TEST(TimerGroupTest, DestroyingTheGroupCancelsItsTimersAndACallbackMayDestroyIt) {
    VirtualRunLoop loop;
    const RunLoop::Scope scope(loop);
    int fired = 0;
    {
        TimerGroup group;
        group.schedule(Duration{5}, [&] { ++fired; });
    }
    auto group = std::make_unique<TimerGroup>();
    group->schedule(Duration{1}, [&] {
        group.reset();
        ++fired;
    });
    group->schedule(Duration{2}, [&] { fired += 100; });
    loop.runUntilIdle();
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(loop.pendingTimers(), 0u);
}

}  // namespace
}  // namespace korvane
