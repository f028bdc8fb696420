#include "platform/signals.h"

#include <gtest/gtest.h>

#include <csignal>

// The three termination signals reach the descriptor in the order they came,
// one request each, and the process goes on instead of dying.
TEST(TerminationSignals, ArriveOnTheDescriptorInOrder) {
    const int descriptor = platform::WatchTerminationSignals();
    ASSERT_GE(descriptor, 0);
    EXPECT_EQ(platform::WatchTerminationSignals(), descriptor);
    EXPECT_EQ(platform::TakeTerminationSignal(descriptor), 0);

    ASSERT_EQ(std::raise(SIGTERM), 0);
    ASSERT_EQ(std::raise(SIGHUP), 0);
    ASSERT_EQ(std::raise(SIGINT), 0);
    EXPECT_EQ(platform::TakeTerminationSignal(descriptor), SIGTERM);
    EXPECT_EQ(platform::TakeTerminationSignal(descriptor), SIGHUP);
    EXPECT_EQ(platform::TakeTerminationSignal(descriptor), SIGINT);
    EXPECT_EQ(platform::TakeTerminationSignal(descriptor), 0);
}
