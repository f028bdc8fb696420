// The run history's costs: recording the runs of one poll (one transaction),
// and reading one task's runs for the History window from databases of 100
// and 10,000 tasks with 100 runs of 1 KiB output each.
#include "history/RunHistory.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>

namespace {

namespace fs = std::filesystem;

std::string Guid(int task) {
    std::string text = std::to_string(task);
    return std::string(40 - text.size(), '0') + text;
}

TRunRecord Finished(history::THistory& h, int task, int run) {
    TRunRecord r;
    r.Id = h.NewRunId();
    r.TaskGuid = Guid(task);
    r.TaskName = "Task " + std::to_string(task);
    r.HowStarted = "scheduled";
    r.Start = 46000 + run;
    r.End = r.Start + 0.001;
    r.Outcome = TRunOutcome::Exited;
    r.Code = run % 3;
    r.Output = std::string(1024, static_cast<char>('a' + run % 26));
    return r;
}

// Databases made once per size and removed at exit.
class TDatabases {
public:
    ~TDatabases() {
        open_.clear();
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }
    history::THistory& Of(int tasks) {
        auto& slot = open_[tasks];
        if (slot)
            return *slot;
        slot = std::make_unique<history::THistory>(folder_ + "/history-" + std::to_string(tasks) +
                                                   ".sqlite");
        (void)slot->Open();
        for (int run = 0; run < history::RunsKeptPerTask; ++run) {
            for (int task = 0; task < tasks; ++task)
                slot->Record(Finished(*slot, task, run));
            (void)slot->Flush();
        }
        return *slot;
    }
    std::string Folder() const { return folder_; }

private:
    std::string folder_ = [] {
        std::string pattern = (fs::temp_directory_path() / "historybench-XXXXXX").string();
        return std::string(mkdtemp(pattern.data()));
    }();
    std::map<int, std::unique_ptr<history::THistory>> open_;
};

TDatabases& Databases() {
    static TDatabases databases;
    return databases;
}

// A poll in which one task starts: its record written in its own transaction.
void BM_RecordARunStart(benchmark::State& state) {
    history::THistory h(Databases().Folder() + "/record.sqlite");
    (void)h.Open();
    int run = 0;
    for (auto _ : state) {
        TRunRecord r = Finished(h, run % 50, run);
        r.Outcome = TRunOutcome::Running;
        r.Output.clear();
        h.Record(r);
        benchmark::DoNotOptimize(h.Flush());
        ++run;
    }
}
BENCHMARK(BM_RecordARunStart)->Unit(benchmark::kMicrosecond);

// What the History window reads for one task.
void BM_RunsOfOneTask(benchmark::State& state) {
    const int tasks = static_cast<int>(state.range(0));
    history::THistory& h = Databases().Of(tasks);
    int task = 0;
    for (auto _ : state) {
        const auto runs = h.RunsOf(Guid(task));
        benchmark::DoNotOptimize(runs.data());
        if (runs.size() != static_cast<std::size_t>(history::RunsKeptPerTask))
            state.SkipWithError("a task's runs are missing");
        task = (task + 7919) % tasks;
    }
}
BENCHMARK(BM_RunsOfOneTask)->Arg(100)->Arg(10000)->Unit(benchmark::kMillisecond);

// What program start does with the history: open it, adopt runs left
// running, forget deleted tasks; the runs themselves are not read.
void BM_OpenAtStart(benchmark::State& state) {
    const int tasks = static_cast<int>(state.range(0));
    const std::string file = Databases().Of(tasks).FileName();
    std::set<std::string> live;
    for (int task = 0; task < tasks; ++task)
        live.insert(Guid(task));
    for (auto _ : state) {
        history::THistory h(file);
        if (!h.Open())
            state.SkipWithError("the database did not open");
        h.ForgetDeletedTasks([&live](const std::string& guid) { return live.contains(guid); },
                             46000);
    }
}
BENCHMARK(BM_OpenAtStart)->Arg(10000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
