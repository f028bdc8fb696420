#include "lib/SupportLibrary.h"
#include "lib/classQMTaskSchedulerUtils.h"
#include "lib/classSHA10.h"

#include <benchmark/benchmark.h>

#include <string>

// One identifier: a seed text, the volume query, a clock reading and a digest.
static void BM_NewTaskIdentifier(benchmark::State& state) {
    TSupportLibrary support;
    for (auto _ : state)
        benchmark::DoNotOptimize(TQMTaskSchedulerUtils::NewTaskIdentifier());
}
BENCHMARK(BM_NewTaskIdentifier);

static void BM_SHA1(benchmark::State& state) {
    const std::string message(static_cast<size_t>(state.range(0)), 'q');
    TSHA sha;
    TSHADigest digest;
    for (auto _ : state) {
        sha.Init();
        sha.Update(message.data(), static_cast<std::uint32_t>(message.size()));
        sha.Final();
        sha.GetDigest(digest);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_SHA1)->Arg(40)->Arg(4096)->Arg(1 << 20);

BENCHMARK_MAIN();
