// A poll is a linear pass over every task with one clock reading and
// comparisons only; this keeps an eye on its cost for lists far larger than a
// user keeps. Goal: one poll over 10,000 tasks with nothing due in 2 ms or
// less, and no allocation at all.
#include "scheduler/classQMTaskScheduler.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<long long> allocations{0};

void BM_PollWithNothingDue(benchmark::State& state) {
    TQMTaskScheduler tasks;
    const TDateTime now = dt::Now();
    for (int i = 0; i < state.range(0); ++i) {
        TQMTask* task = tasks.AddNewTask();
        // Daily (every other task), weekly or without frequency (a third),
        // one-shot (a fifth, dated today), the window six hours away:
        // nothing is due.
        task->Daily = i % 2 == 0;
        task->DateTime = now + 0.25 - (i % 5 == 0 ? 1 : 0);
        task->Weekly = i % 3 == 0;
        task->OneShot = i % 5 == 0;
        task->Monday = task->Friday = true;
    }
    tasks.Tick(nullptr); // the day's zone rules are looked up once
    const long long before = allocations.load();
    for (auto _ : state)
        tasks.Tick(nullptr);
    state.counters["allocations_per_poll"] =
        static_cast<double>(allocations.load() - before) / static_cast<double>(state.iterations());
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_PollWithNothingDue)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

} // namespace

// Counts every allocation of the program, so that the poll's count shows.
void* operator new(std::size_t size) {
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

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv); // the task list's timer needs it
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
