#include <gtest/gtest.h>

#include <pthread.h>
#include <signal.h>

#include <cerrno>

#include "app/closing_signals.hpp"

namespace tracora::app {
namespace {

bool Blocked(int signal) {
    sigset_t current;
    sigemptyset(&current);
    pthread_sigmask(SIG_BLOCK, nullptr, &current);
    return sigismember(&current, signal) == 1;
}

int FailingSignalFd(int, const sigset_t*, int) {
    errno = EMFILE;
    return -1;
}

// Restores the test thread's signal mask whatever a case left behind.
class ClosingSignalsTest : public ::testing::Test {
protected:
    void SetUp() override { pthread_sigmask(SIG_SETMASK, nullptr, &saved_); }
    void TearDown() override { pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }

private:
    sigset_t saved_{};
};

TEST_F(ClosingSignalsTest, SignalsAreBlockedAndReadFromADescriptor) {
    ASSERT_FALSE(Blocked(SIGINT));
    ASSERT_FALSE(Blocked(SIGTERM));
    const ClosingSignals signalsToRead;
    EXPECT_GE(signalsToRead.Descriptor(), 0);
    EXPECT_EQ(signalsToRead.Error(), 0);
    EXPECT_TRUE(Blocked(SIGINT));
    EXPECT_TRUE(Blocked(SIGTERM));
}

// Without a descriptor nobody would read them: the mask is as it was, so they still end the
// program.
TEST_F(ClosingSignalsTest, WithoutADescriptorTheSignalsAreNotLeftBlocked) {
    ASSERT_FALSE(Blocked(SIGINT));
    ASSERT_FALSE(Blocked(SIGTERM));
    const ClosingSignals signalsToRead(&FailingSignalFd);
    EXPECT_EQ(signalsToRead.Descriptor(), -1);
    EXPECT_EQ(signalsToRead.Error(), EMFILE);
    EXPECT_FALSE(Blocked(SIGINT));
    EXPECT_FALSE(Blocked(SIGTERM));
}

}  // namespace
}  // namespace tracora::app
