// How late a task starts after its start time: five rounds of ten tasks
// starting a quarter of a second apart, by the machine's clock, among 10 and
// 10,000 tasks in the list, each starting /bin/true. The lateness is taken when the program has
// been started (its log line is written). Goal: median 20 ms or less, maximum
// 100 ms or less, none early. Without the precise timer a start waited for
// the next 2 s poll: about 1 s late on the median, 2 s at most.
#include "scheduler/TaskLog.h"
#include "scheduler/classQMTaskScheduler.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int Rounds = 5;
constexpr int StartsPerRound = 10; // 50 starts in all
constexpr double SpacingMs = 250;
constexpr double LeadMs = 4500; // two polls see the round coming

void BM_StartLateness(benchmark::State& state) {
    for (auto _ : state) {
        TQMTaskScheduler list;
        for (int i = 0; i < state.range(0); ++i) {
            TQMTask* task = list.AddNewTask();
            task->TaskName = "t" + std::to_string(i);
            task->TaskFileName = "/bin/true";
            task->Daily = true;
            // The others open at a time of day six hours away.
            task->DateTime = dt::Now() + 0.25;
        }
        std::vector<double> lateMs;
        std::map<std::string, TDateTime> startOf;
        QEventLoop loop;
        std::size_t roundEnd = 0;
        SetTaskLogHandler([&](const std::string& line) {
            const TDateTime now = dt::Now();
            const std::string name = line.substr(6, line.find("): ") - 6);
            lateMs.push_back((now - startOf.at(name)) * dt::MSecsPerDay);
            if (lateMs.size() >= roundEnd)
                loop.quit();
        });
        for (int round = 0; round < Rounds; ++round) {
            // As if the user had set ten tasks to start shortly.
            const TDateTime first = dt::Now() + LeadMs / dt::MSecsPerDay;
            for (int i = 0; i < StartsPerRound; ++i) {
                TQMTask* task = list.GetTask(i);
                task->DateTime = first + i * SpacingMs / dt::MSecsPerDay;
                task->ResetLastExecuted();
                startOf[task->TaskName] = task->DateTime;
            }
            roundEnd += StartsPerRound;
            // A round that does not finish ends after a while.
            QTimer limit;
            limit.setSingleShot(true);
            QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
            limit.start(static_cast<int>(LeadMs + StartsPerRound * SpacingMs + 5000));
            loop.exec();
            if (lateMs.size() < roundEnd) {
                SetTaskLogHandler({});
                state.SkipWithError("not every task started");
                return;
            }
        }
        SetTaskLogHandler({});
        std::sort(lateMs.begin(), lateMs.end());
        state.counters["starts"] = static_cast<double>(lateMs.size());
        state.counters["median_ms"] = lateMs[lateMs.size() / 2];
        state.counters["max_ms"] = lateMs.back();
        state.counters["early"] = static_cast<double>(
            std::count_if(lateMs.begin(), lateMs.end(), [](double ms) { return ms < 0; }));
    }
}
BENCHMARK(BM_StartLateness)->Arg(10)->Arg(10000)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
