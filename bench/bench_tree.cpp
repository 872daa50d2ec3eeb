// Pair-list loading and building on flat documents, against plain splitting
// of the same entries as the in-run baseline.
#include "BenchData.h"
#include "PairList.h"
#include "TreeNode.h"

#include <QHash>

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

namespace {

// 64 distinct names of one length: "a00", "a01", ... padded with "x".
QStringList namesOfLength(int length)
{
    QStringList names;
    for (int i = 0; i < 64; ++i) {
        QString name = QStringLiteral("%1%2").arg(QChar(u'a' + i % 26)).arg(i, 2, 10, QLatin1Char('0'));
        name = name.leftJustified(length, u'x', true);
        names.append(name);
    }
    return names;
}

} // namespace

// A child found by name the way the tree finds it under an element with
// many children, for names of one length. Any length costing far more than
// another shows a hash whose cost depends on the processor.
static void NameLookup(benchmark::State &state)
{
    const QStringList names = namesOfLength(static_cast<int>(state.range(0)));
    TreeNode parent;
    for (const QString &name : names)
        parent.insertChild(parent.childCount(), std::make_unique<TreeNode>(name));
    qsizetype i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(parent.childNamed(names[i], 0));
        i = (i + 1) & 63;
    }
}
BENCHMARK(NameLookup)->Arg(3)->Arg(4)->Arg(7)->Arg(8)->Arg(16);

// Qt's own string hash on the same keys, for comparison: on some processors
// keys under 8 characters cost about 30 times more than longer ones.
static void QtStringHash(benchmark::State &state)
{
    const QStringList names = namesOfLength(static_cast<int>(state.range(0)));
    qsizetype i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(qHash(names[i], size_t(42)));
        i = (i + 1) & 63;
    }
}
BENCHMARK(QtStringHash)->Arg(3)->Arg(4)->Arg(7)->Arg(8)->Arg(16);
