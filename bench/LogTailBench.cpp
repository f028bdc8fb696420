// Reading the newest 1,000 lines of the log for the log view, from logs of
// very different lengths: the cost follows the lines shown, not the file.
#include "settings/LogTail.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

// A log of about `megabytes` MB of run lines, made once per size and removed
// at exit.
class TLogs {
public:
    ~TLogs() {
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }
    std::string Of(int megabytes) {
        const std::string path = folder_ + "/log-" + std::to_string(megabytes) + ".log";
        if (fs::exists(path))
            return path;
        const std::string line =
            "2026-Dec-07 09:41:00   task (Backup): executed (/usr/local/bin/backup-home)\r\n";
        std::string block;
        while (block.size() < (1u << 20))
            block += line;
        std::ofstream out(path, std::ios::binary);
        for (int i = 0; i < megabytes; ++i)
            out << block;
        return path;
    }

private:
    std::string folder_ = [] {
        const fs::path folder = fs::temp_directory_path() / "qmts-logtail-bench";
        fs::create_directories(folder);
        return folder.string();
    }();
};

TLogs logs;

void BM_LogTail(benchmark::State& state) {
    const std::string path = logs.Of(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        const TLogTail tail = ReadLogTail(path, 1000);
        benchmark::DoNotOptimize(tail.Lines.size());
    }
}
BENCHMARK(BM_LogTail)->Arg(1)->Arg(100)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
