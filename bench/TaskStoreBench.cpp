// The application store's Load and Save with many varied tasks. Beside each
// figure, in the same run: what merely reading (or writing and syncing) the
// same file's bytes costs ("disk_ms", and the ratio "x_disk"), and what a
// naive store that scans the lines from the top for every key costs
// ("naive_ms", "x_naive"). The naive store runs up to 2,000 tasks; set
// QMTS_BENCH_NAIVE=all to run it at every size (minutes at 10,000 tasks).
#include "bench/VariedTasks.h"
#include "lib/SupportLibrary.h"
#include "lib/classZQStringUtil.h"
#include "platform/textfile.h"
#include "settings/classQMSettings.h"
#include "settings/classQMTaskSchedulerSettings.h"
#include "tests/support/NaiveSettingsStore.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <stdexcept>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double MillisecondsOf(const std::function<void()>& work) {
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The best of a few runs: the disk's figure without the machine's noise.
double BestOf(int runs, const std::function<void()>& work) {
    double best = MillisecondsOf(work);
    for (int i = 1; i < runs; ++i)
        best = std::min(best, MillisecondsOf(work));
    return best;
}

// A task list of the given size, its store in a folder of its own, and the
// settings file saved once.
class TStoreSetup {
public:
    explicit TStoreSetup(int count)
        : folder_(fs::temp_directory_path() /
                  ("qmts-bench-" + std::to_string(std::random_device{}()))) {
        fs::create_directories(folder_ / "program");
        store.Settings().ProgramFolder = (folder_ / "program").string() + "/";
        store.Settings().UserFolder = (folder_ / "user").string() + "/";
        bench_support::FillVariedTasks(tasks, count);
        if (!store.Save())
            throw std::runtime_error("cannot save the settings file");
    }
    ~TStoreSetup() { fs::remove_all(folder_); }
    TStoreSetup(const TStoreSetup&) = delete;
    TStoreSetup& operator=(const TStoreSetup&) = delete;

    std::string File() const { return store.Settings().ChosenFileName(); }
    std::string Sibling() const { return (folder_ / "user" / "bytes-only.ini").string(); }

    TQMTaskScheduler tasks;
    TQMTaskSchedulerSettings store{tasks};

private:
    fs::path folder_;
};

bool NaiveRuns(int count) {
    const char* all = std::getenv("QMTS_BENCH_NAIVE");
    return count <= 2000 || (all != nullptr && std::string(all) == "all");
}

const char* const TaskKeys[] = {"taskname",
                                "guid",
                                "taskfilename",
                                "taskparameters",
                                "active",
                                "weekly",
                                "daily",
                                "one_shot",
                                "datetime",
                                "monday",
                                "tuesday",
                                "wednesday",
                                "thursday",
                                "friday",
                                "saturday",
                                "sunday",
                                "datetime_lastexecuted"};

std::string Stamp(TDateTime value) {
    const dt::DateTimeFields f = dt::DecodeDateTime(value);
    using S = TZQStringUtil;
    return S::ZeroPad(f.Year, 4) + S::ZeroPad(f.Month, 2) + S::ZeroPad(f.Day, 2) + "-" +
           S::ZeroPad(f.Hour, 2) + S::ZeroPad(f.Minute, 2) + S::ZeroPad(f.Second, 2) +
           S::ZeroPad(f.Millisecond > 999 ? 0 : f.Millisecond, 3);
}

// The naive store's Load: every key of every task looked up by name.
std::size_t NaiveLoad(const std::string& path) {
    std::string content;
    if (platform::ReadWholeFile(path, content) != 0)
        throw std::runtime_error("cannot read " + path);
    naive::TStore s;
    std::size_t start = 0;
    for (std::size_t end; (end = content.find("\r\n", start)) != std::string::npos; start = end + 2)
        s.Lines.push_back(content.substr(start, end - start));
    std::string value;
    std::size_t found = 0;
    found += s.ReadString("QMTaskScheduler", "askwhenclose", value);
    for (const std::string& line : s.Lines) {
        if (!line.starts_with("[tasks\\"))
            continue;
        const std::string name = line.substr(1, line.size() - 2);
        for (const char* key : TaskKeys)
            found += s.ReadString(name, key, value);
    }
    return found;
}

// The naive store's Save: every key line written by a scan from the top.
void NaiveSave(const TQMTaskScheduler& tasks, const std::string& path) {
    naive::TStore s;
    s.WriteString("QMTaskScheduler", "askwhenclose", "1");
    s.WriteString("QMTaskScheduler", "askwhenexecutetaskmanually", "1");
    for (int i = 0; i < tasks.Count(); ++i) {
        const TQMTask& t = *tasks.GetTask(i);
        const std::string n = "Tasks\\" + t.Guid;
        const bool flags[] = {t.Active,    t.Weekly,   t.Daily,  t.OneShot,  t.Monday, t.Tuesday,
                              t.Wednesday, t.Thursday, t.Friday, t.Saturday, t.Sunday};
        const std::string texts[] = {t.TaskName, t.Guid, t.TaskFileName, t.TaskParameters};
        for (int k = 0; k < 4; ++k)
            s.WriteString(n, TaskKeys[k], texts[k]);
        for (int k = 4; k < 8; ++k)
            s.WriteString(n, TaskKeys[k], flags[k - 4] ? "1" : "0");
        s.WriteString(n, "datetime", Stamp(t.DateTime));
        for (int k = 9; k < 16; ++k)
            s.WriteString(n, TaskKeys[k], flags[k - 5] ? "1" : "0");
        s.WriteString(n, "datetime_lastexecuted", Stamp(t.DateTimeLastExecuted));
    }
    s.WriteString("System", "initype", "qmtaskscheduler");
    std::string content;
    for (const std::string& line : s.Lines)
        content += line + "\r\n";
    if (platform::WriteFileAtomically(path, content) != 0)
        throw std::runtime_error("cannot write " + path);
}

void Report(benchmark::State& state, double realMs, double diskMs, double naiveMs) {
    state.counters["real_ms"] = realMs;
    state.counters["disk_ms"] = diskMs;
    state.counters["x_disk"] = realMs / diskMs;
    if (naiveMs > 0) {
        state.counters["naive_ms"] = naiveMs;
        state.counters["x_naive"] = naiveMs / realMs;
    }
}

void BM_StoreLoad(benchmark::State& state) {
    TSupportLibrary support;
    const int count = static_cast<int>(state.range(0));
    TStoreSetup setup(count);
    const std::string path = setup.File();
    double totalMs = 0;
    for (auto _ : state) {
        totalMs += MillisecondsOf([&] {
            if (!setup.store.Load())
                state.SkipWithError("load failed");
        });
    }
    if (setup.tasks.Count() != count)
        state.SkipWithError("not every task came back");
    std::string bytes;
    const double diskMs = BestOf(10, [&] {
        if (platform::ReadWholeFile(path, bytes) != 0)
            state.SkipWithError("read failed");
    });
    const double naiveMs = NaiveRuns(count) ? MillisecondsOf([&] {
        if (NaiveLoad(path) != 1 + std::size(TaskKeys) * static_cast<std::size_t>(count))
            state.SkipWithError("naive load missed keys");
    })
                                            : 0;
    Report(state, totalMs / static_cast<double>(state.iterations()), diskMs, naiveMs);
    state.counters["file_kb"] = static_cast<double>(bytes.size()) / 1024;
}

void BM_StoreSave(benchmark::State& state) {
    TSupportLibrary support;
    const int count = static_cast<int>(state.range(0));
    TStoreSetup setup(count);
    double totalMs = 0;
    for (auto _ : state) {
        totalMs += MillisecondsOf([&] {
            if (!setup.store.Save())
                state.SkipWithError("save failed");
        });
    }
    std::string bytes;
    if (platform::ReadWholeFile(setup.File(), bytes) != 0)
        state.SkipWithError("read failed");
    const double diskMs = BestOf(10, [&] {
        if (platform::WriteFileAtomically(setup.Sibling(), bytes) != 0)
            state.SkipWithError("write failed");
    });
    const double naiveMs =
        NaiveRuns(count) ? MillisecondsOf([&] { NaiveSave(setup.tasks, setup.Sibling()); }) : 0;
    Report(state, totalMs / static_cast<double>(state.iterations()), diskMs, naiveMs);
}

} // namespace

BENCHMARK(BM_StoreLoad)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StoreSave)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv); // the task list's timer needs it
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
