#include "headless/main_loop.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace tracora::headless {
namespace {

using std::chrono::milliseconds;

// Generous bound for a busy two-core machine: only a broken loop gets anywhere near it.
constexpr milliseconds kLongWait{60'000};

TEST(MainLoopTest, TasksFromAWorkerRunOnTheMainThreadInOrder) {
    MainLoop loop;
    const std::thread::id mainThread = std::this_thread::get_id();
    constexpr int kTasks = 500;
    std::vector<int> order;
    std::vector<std::thread::id> threads;
    bool finished = false;
    std::thread worker([&] {
        for (int i = 0; i < kTasks; ++i) {
            loop.Post([&order, &threads, i] {
                order.push_back(i);
                threads.push_back(std::this_thread::get_id());
            });
        }
        // The job's completion message.
        loop.Post([&finished] { finished = true; });
    });
    EXPECT_EQ(loop.RunUntil([&finished] { return finished; }, kLongWait), MainLoop::kDone);
    worker.join();
    ASSERT_EQ(order.size(), static_cast<std::size_t>(kTasks));
    for (int i = 0; i < kTasks; ++i) {
        EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
    }
    for (const auto& id : threads) {
        EXPECT_EQ(id, mainThread);
    }
    EXPECT_EQ(loop.Pending(), 0u);
}

TEST(MainLoopTest, RunUntilTimesOutCleanlyAndKeepsLaterTasks) {
    MainLoop loop;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(loop.RunUntil([] { return false; }, milliseconds(200)), MainLoop::kTimedOut);
    EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(200));
    EXPECT_FALSE(loop.QuitRequested());

    // A task posted after the time-out still runs in the next call.
    int ran = 0;
    loop.Post([&ran] { ++ran; });
    EXPECT_EQ(loop.RunUntil([&ran] { return ran == 1; }, kLongWait), MainLoop::kDone);
    EXPECT_EQ(ran, 1);
}

TEST(MainLoopTest, PredicateMetMidQueueLeavesTheRestQueued) {
    MainLoop loop;
    std::vector<int> ran;
    for (int i = 0; i < 3; ++i) {
        loop.Post([&ran, i] { ran.push_back(i); });
    }
    // Already true: nothing runs.
    EXPECT_EQ(loop.RunUntil([] { return true; }, kLongWait), MainLoop::kDone);
    EXPECT_TRUE(ran.empty());
    EXPECT_EQ(loop.RunUntil([&ran] { return ran.size() == 1; }, kLongWait), MainLoop::kDone);
    EXPECT_EQ(ran, std::vector<int>{0});
    EXPECT_EQ(loop.Pending(), 2u);
    EXPECT_EQ(loop.RunPending(), 2u);
    EXPECT_EQ(ran, (std::vector<int>{0, 1, 2}));
}

TEST(MainLoopTest, QuitFromAnotherThreadEndsTheLoopWithItsCode) {
    MainLoop loop;
    std::atomic<bool> sawTask{false};
    std::thread worker([&loop] {
        loop.Post([] {});
        loop.Quit(3);
        loop.Quit(5);  // the first code stands
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(loop.RunUntil(nullptr, kLongWait), MainLoop::kQuit);
    EXPECT_LT(std::chrono::steady_clock::now() - start, kLongWait);
    worker.join();
    EXPECT_TRUE(loop.QuitRequested());
    EXPECT_EQ(loop.ExitCode(), 3);
    // A quit loop does not run anything further.
    loop.Post([&sawTask] { sawTask = true; });
    EXPECT_EQ(loop.RunUntil(nullptr, kLongWait), MainLoop::kQuit);
    EXPECT_FALSE(sawTask);
}

TEST(MainLoopTest, TasksMayPostAndQuit) {
    MainLoop loop;
    std::vector<int> ran;
    loop.Post([&] {
        ran.push_back(1);
        loop.Post([&] {
            ran.push_back(2);
            loop.Quit(0);
        });
    });
    EXPECT_EQ(loop.RunUntil(nullptr, kLongWait), MainLoop::kQuit);
    EXPECT_EQ(ran, (std::vector<int>{1, 2}));
    EXPECT_EQ(loop.ExitCode(), 0);
}

}  // namespace
}  // namespace tracora::headless
