// A poll is a linear pass over every task with clock reads and comparisons
// only; this keeps an eye on its cost for lists far larger than a user keeps.
#include "scheduler/classQMTaskScheduler.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

namespace {

void BM_PollWithNothingDue(benchmark::State& state) {
    TQMTaskScheduler tasks;
    const TDateTime now = dt::Now();
    for (int i = 0; i < state.range(0); ++i) {
        TQMTask* task = tasks.AddNewTask();
        // Daily (every other task), weekly or without frequency (a third),
        // the window six hours away: nothing is due.
        task->Daily = i % 2 == 0;
        task->DateTime = now + 0.25;
        task->Weekly = i % 3 == 0;
        task->Monday = task->Friday = true;
    }
    for (auto _ : state)
        tasks.Tick(nullptr);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_PollWithNothingDue)->Arg(100)->Arg(1000)->Arg(10000);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv); // the task list's timer needs it
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
