#include "device/wake_event.hpp"

#include <gtest/gtest.h>

#include <future>
#include <vector>

#include "device/pty_fixture.hpp"

namespace tracora::device {
namespace {

using test_support::kLongWaitMs;
using test_support::kPromptMs;
using test_support::Stopwatch;

TEST(WakeEventTest, StaysSetUntilReset) {
    WakeEvent event;
    ASSERT_TRUE(event.Valid());
    EXPECT_FALSE(event.IsSet());
    event.Set();
    event.Set();
    EXPECT_TRUE(event.IsSet());
    EXPECT_TRUE(event.Wait(0));
    EXPECT_TRUE(event.IsSet()) << "waiting must not consume the event";
    event.Reset();
    EXPECT_FALSE(event.IsSet()) << "one reset clears any number of sets";
    event.Reset();
    EXPECT_FALSE(event.IsSet());
}

TEST(WakeEventTest, WaitEndsAtTheTimeoutWhenNotSet) {
    WakeEvent event;
    Stopwatch clock;
    EXPECT_FALSE(event.Wait(250));
    EXPECT_GE(clock.ElapsedMs(), 250);
}

TEST(WakeEventTest, OneSetEndsEveryWaitAtOnce) {
    WakeEvent event;
    constexpr int kWaiters = 3;
    std::vector<std::promise<void>> started(kWaiters);
    std::vector<std::future<bool>> waits;
    for (int i = 0; i < kWaiters; ++i) {
        waits.push_back(std::async(std::launch::async, [&event, &started, i] {
            started[static_cast<std::size_t>(i)].set_value();
            return event.Wait(kLongWaitMs);
        }));
    }
    for (auto& s : started) {
        s.get_future().wait();
    }
    Stopwatch clock;
    event.Set();
    for (auto& w : waits) {
        ASSERT_EQ(w.wait_for(std::chrono::milliseconds(kPromptMs)), std::future_status::ready);
        EXPECT_TRUE(w.get());
    }
    EXPECT_LT(clock.ElapsedMs(), kPromptMs);
}

TEST(WakeEventTest, MovedEventKeepsItsState) {
    WakeEvent event;
    event.Set();
    WakeEvent moved(std::move(event));
    EXPECT_TRUE(moved.IsSet());
    EXPECT_FALSE(event.Valid());
    EXPECT_FALSE(event.IsSet());
    event.Set();  // harmless on a moved-from event
}

}  // namespace
}  // namespace tracora::device
