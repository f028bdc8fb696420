// Loading, saving and filling a settings file with many tasks' sections, as
// the application store does after every change.
#include "settings/classQMSettings.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

namespace {

std::string Identifier(int i) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%040X", static_cast<unsigned>(i) * 2654435761u);
    return buf;
}

// One task's section as the application store writes it: its keys, in its
// order.
void WriteTask(TQMSettings& s, int i) {
    const std::string section = "Tasks\\" + Identifier(i);
    const bool flag = i % 2 == 0;
    s.WriteString(section, "taskname", "Task number " + std::to_string(i));
    s.WriteString(section, "guid", Identifier(i));
    s.WriteString(section, "taskfilename", "/usr/local/bin/program-" + std::to_string(i));
    s.WriteString(section, "taskparameters", "--flag=value /a=b");
    for (const char* key : {"active", "weekly", "daily", "one_shot"})
        s.WriteBool(section, key, flag);
    s.WriteDateTime(section, "datetime", 46000.5 + i);
    for (const char* key :
         {"monday", "tuesday", "wednesday", "thursday", "friday", "saturday", "sunday"})
        s.WriteBool(section, key, flag);
    s.WriteDateTime(section, "datetime_lastexecuted", 46001.25 + i);
}

void Fill(TQMSettings& s, int tasks) {
    s.Clear();
    s.WriteBool("QMTaskScheduler", "askwhenclose", true);
    s.WriteBool("QMTaskScheduler", "askwhenexecutetaskmanually", true);
    for (int i = 0; i < tasks; ++i)
        WriteTask(s, i);
}

std::string TempFile() {
    return (std::filesystem::temp_directory_path() /
            ("qmts-bench-" + std::to_string(std::random_device{}()) + ".ini"))
        .string();
}

void BM_FillStore(benchmark::State& state) {
    TQMSettings s;
    for (auto _ : state) {
        Fill(s, static_cast<int>(state.range(0)));
        benchmark::DoNotOptimize(s.Lines.data());
    }
    state.counters["lines"] = static_cast<double>(s.Lines.size());
}
BENCHMARK(BM_FillStore)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_SaveToFile(benchmark::State& state) {
    const std::string path = TempFile();
    TQMSettings filled;
    Fill(filled, static_cast<int>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        TQMSettings s;
        s.Lines = filled.Lines;
        state.ResumeTiming();
        s.SaveToFile(path);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(std::filesystem::file_size(path)));
    std::filesystem::remove(path);
}
BENCHMARK(BM_SaveToFile)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_LoadAndReadAll(benchmark::State& state) {
    const std::string path = TempFile();
    const int tasks = static_cast<int>(state.range(0));
    {
        TQMSettings s;
        Fill(s, tasks);
        s.SaveToFile(path);
    }
    for (auto _ : state) {
        TQMSettings s;
        if (!s.LoadFromFile(path))
            state.SkipWithError("file vanished");
        // Every task's every value, as the application store reads them.
        std::string text;
        bool flag = false;
        TDateTime when = 0;
        for (int i = 0; i < s.SectionCount(); ++i) {
            const std::string& name = s.Section(i).Name;
            benchmark::DoNotOptimize(s.ReadString(name, "taskname", text));
            benchmark::DoNotOptimize(s.ReadString(name, "taskparameters", text));
            benchmark::DoNotOptimize(s.ReadBool(name, "sunday", flag));
            benchmark::DoNotOptimize(s.ReadDateTime(name, "datetime_lastexecuted", when));
        }
    }
    std::filesystem::remove(path);
}
BENCHMARK(BM_LoadAndReadAll)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
