// The provider on a generated document of 32,767 entries read from a file,
// against libxml2 parsing the same bytes and walking the tree.
#include "BenchData.h"
#include "Quen.h"

#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

using namespace tarnwell;

namespace {

const bench::GeneratedDocument &document()
{
    return bench::largeDocument();
}

std::shared_ptr<QuenFile> bindDocument()
{
    auto controller = CreateQuenEngine()->WorkspaceList().at(0)->CreateController(
        QString(), kTarnwellProgId.toString(), QString(), QString());
    return controller->BindFile(document().path, QString());
}

void walk(xmlNodePtr node, size_t &count)
{
    for (xmlNodePtr c = node; c; c = c->next) {
        ++count;
        if (c->type == XML_ELEMENT_NODE)
            walk(c->children, count);
    }
}

} // namespace

static void Libxml2ParseBaseline(benchmark::State &state)
{
    const QByteArray &bytes = document().bytes;
    for (auto _ : state) {
        xmlDocPtr doc = xmlReadMemory(bytes.constData(), static_cast<int>(bytes.size()), nullptr, nullptr, XML_PARSE_NONET);
        size_t count = 0;
        walk(xmlDocGetRootElement(doc), count);
        benchmark::DoNotOptimize(count);
        xmlFreeDoc(doc);
    }
}
BENCHMARK(Libxml2ParseBaseline)->Arg(32767)->Unit(benchmark::kMillisecond);

// Reading the file and answering GetData.
static void ProviderGetData(benchmark::State &state)
{
    for (auto _ : state) {
        auto file = bindDocument();
        QVariant pairs = file->RunCommand(QStringLiteral("GetData"));
        benchmark::DoNotOptimize(pairs);
    }
}
BENCHMARK(ProviderGetData)->Arg(32767)->Unit(benchmark::kMillisecond);

// One changed value stored, the check of the result and the write included.
// The file object and the list are made, and the previous ones torn down,
// while the clock is stopped: that is binding and closing, not PutData.
static void ProviderPutDataOneEdit(benchmark::State &state)
{
    std::shared_ptr<QuenFile> file;
    QStringList pairs;
    for (auto _ : state) {
        state.PauseTiming();
        file.reset();
        document().reset();
        file = bindDocument();
        pairs = file->RunCommand(QStringLiteral("GetData")).toStringList();
        pairs[pairs.size() / 2] += QStringLiteral(" edited");
        state.ResumeTiming();
        file->RunCommand(QStringLiteral("PutData"), pairs);
    }
}
BENCHMARK(ProviderPutDataOneEdit)->Arg(32767)->Unit(benchmark::kMillisecond);
