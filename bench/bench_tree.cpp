// Pair-list loading and building on flat documents, against plain splitting
// of the same entries as the in-run baseline.
#include "BenchData.h"
#include "PairList.h"

#include <benchmark/benchmark.h>

using namespace tarnwell;

static void SplitBaseline(benchmark::State &state)
{
    const QStringList pairs = bench::flatPairList(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        for (const QString &entry : pairs) {
            QStringList fields = entry.split(QLatin1Char(','));
            benchmark::DoNotOptimize(fields);
        }
    }
}
BENCHMARK(SplitBaseline)->Arg(32767)->Unit(benchmark::kMillisecond);

static void LoadPairList(benchmark::State &state)
{
    const QStringList pairs = bench::flatPairList(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        auto tree = tarnwell::LoadPairList(pairs, bench::benchLists());
        benchmark::DoNotOptimize(tree.get());
    }
}
BENCHMARK(LoadPairList)->Arg(8192)->Arg(16384)->Arg(32767)->Unit(benchmark::kMillisecond);

static void BuildPairList(benchmark::State &state)
{
    const auto tree = tarnwell::LoadPairList(bench::flatPairList(static_cast<int>(state.range(0))), bench::benchLists());
    for (auto _ : state) {
        QStringList pairs = tarnwell::BuildPairList(*tree);
        benchmark::DoNotOptimize(pairs);
    }
}
BENCHMARK(BuildPairList)->Arg(8192)->Arg(16384)->Arg(32767)->Unit(benchmark::kMillisecond);
