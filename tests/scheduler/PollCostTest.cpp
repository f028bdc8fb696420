#include "scheduler/classQMTaskScheduler.h"
#include "tests/support/TestSupport.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<bool> counting{false};
std::atomic<long long> allocations{0};

} // namespace

// Counts the allocations made while `counting` is set, in the whole program.
void* operator new(std::size_t size) {
    if (counting.load(std::memory_order_relaxed))
        allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept {
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

// A poll over many tasks, none of them due, of every frequency and on a day
// the clock jumps: one reading of the clock and not one allocation.
TEST(TaskListPoll, ReadsTheClockOnceAndAllocatesNothingWhenNoTaskIsDue) {
    testing_support::ScopedTimeZone zone("Europe/Amsterdam");
    const TDateTime now = testing_support::MakeDateTime(2026, 3, 29, 12, 0, 0); // a Sunday
    int reads = 0;
    dt::SetClock([&] {
        ++reads;
        return now;
    });
    TQMTaskScheduler list;
    for (int i = 0; i < 1000; ++i) {
        TQMTask* task = list.AddNewTask();
        task->DateTime = now + (i % 4 == 0 ? -0.4 : 0.3); // 02:24 (skipped) or 19:12
        task->Daily = i % 2 == 0;
        task->Weekly = task->Sunday = i % 3 == 0;
        task->OneShot = i % 5 == 0;
        task->Active = i % 7 != 0;
        task->DateTimeLastExecuted = i % 11 == 0 ? now - 0.1 : 0;
    }
    list.Tick(nullptr); // looks the day's zone rules up
    reads = 0;
    counting = true;
    for (int poll = 0; poll < 10; ++poll)
        list.Tick(list.Timer());
    counting = false;
    dt::SetClock({});
    EXPECT_EQ(reads, 10);
    EXPECT_EQ(allocations.load(), 0);
}
