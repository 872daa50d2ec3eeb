// Configurations from large schemas: the walk must stop at the limit of a
// configuration within bounded time and memory, however many routes the
// schema has.
#include "BenchData.h"
#include "ConfigFromSchema.h"
#include "Error.h"
#include "Quen.h"
#include "SchemaCheck.h"
#include "SchemaValidator.h"
#include "TarnwellProvider.h"
#include "TreeModel.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <malloc.h>

using namespace tarnwell;

namespace {

// Debian's docbook5-xml: about 400 elements nesting in one another.
const QString kDocBook = QStringLiteral("/usr/share/xml/docbook/schema/xsd/5.0/docbook.xsd");

// A schema of `levels` types, each holding two optional elements of the next:
// 2^(levels+1) - 1 paths, each type reached by 2^n routes.
QString routesSchema(QTemporaryDir &dir, int levels)
{
    QByteArray text = "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">\n<xs:element name=\"r\" type=\"T0\"/>\n";
    for (int i = 0; i < levels; ++i) {
        const QByteArray next = QByteArray::number(i + 1);
        text += "<xs:complexType name=\"T" + QByteArray::number(i) + "\"><xs:sequence><xs:element name=\"a\" type=\"T" + next +
                "\" minOccurs=\"0\"/><xs:element name=\"b\" type=\"T" + next + "\" minOccurs=\"0\"/></xs:sequence></xs:complexType>\n";
    }
    text += "<xs:complexType name=\"T" + QByteArray::number(levels) + "\"/>\n</xs:schema>\n";
    const QString path = dir.filePath(QStringLiteral("routes.xsd"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size())
        return {};
    return path;
}

// Runs the walk that is refused at the limit; an error if it is not.
void runRefused(benchmark::State &state, const QString &path, const QString &root)
{
    for (auto _ : state) {
        try {
            ConfigFromSchema(path, root);
            state.SkipWithError("the configuration was not refused at 32,767 paths");
            return;
        } catch (const Error &e) {
            benchmark::DoNotOptimize(e.description());
        }
    }
}

} // namespace

static void ConfigFromSchemaRoutes(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString path = routesSchema(dir, static_cast<int>(state.range(0)));
    if (path.isEmpty()) {
        state.SkipWithError("the schema cannot be written");
        return;
    }
    runRefused(state, path, QString());
}
BENCHMARK(ConfigFromSchemaRoutes)->Name("ConfigFromSchema/routes")->Arg(22)->Unit(benchmark::kMillisecond);

static void ConfigFromSchemaDocBook(benchmark::State &state)
{
    runRefused(state, kDocBook, QStringLiteral("book"));
}

// Only where the schema is installed: the set-up does not need it.
static const bool registeredDocBook = [] {
    if (QFileInfo(kDocBook).isFile())
        benchmark::RegisterBenchmark("ConfigFromSchema/docbook", ConfigFromSchemaDocBook)->Unit(benchmark::kMillisecond);
    return true;
}();

// The 32,767-entry document of the provider benchmarks checked against a
// schema that covers it, with the schema cached (the first check, outside
// the clock, reads it). heap_growth_MB is the heap a validator holds after
// reading the schema and making one check.
static void ValidateDocument(benchmark::State &state)
{
    const bench::GeneratedDocument &document = bench::largeDocument();
    QTemporaryDir dir;
    const QString schema = dir.filePath(QStringLiteral("doc.xsd"));
    QFile f(schema);
    const QByteArray text = "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">\n"
                            "<xs:element name=\"Doc\"><xs:complexType><xs:sequence>\n"
                            "<xs:element name=\"Item\" type=\"xs:string\" minOccurs=\"0\" maxOccurs=\"unbounded\"/>\n"
                            "</xs:sequence></xs:complexType></xs:element>\n</xs:schema>\n";
    if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size()) {
        state.SkipWithError("the schema cannot be written");
        return;
    }
    f.close();
    const auto heap = [] { const struct mallinfo2 info = mallinfo2(); return static_cast<double>(info.uordblks + info.hblkhd); };
    const double before = heap();
    SchemaValidator validator;
    if (validator.validate(document.path, schema).status != ValidationResult::Status::Valid) {
        state.SkipWithError("the benchmark document is not valid against its schema");
        return;
    }
    state.counters["heap_growth_MB"] = (heap() - before) / 1e6;
    for (auto _ : state) {
        const ValidationResult result = validator.validate(document.path, schema);
        benchmark::DoNotOptimize(result.status);
    }
}
BENCHMARK(ValidateDocument)->Name("ValidateDocument/32767")->Unit(benchmark::kMillisecond);

// The check of unsaved changes, as the window makes it after a pause: from
// a changed tree of the 32,767-entry document to the problem list. The
// window's part (the pair list, the store's draft) runs here; SchemaCheck
// reads the draft back as a store would beside the validation (the schema
// is cached), and the clock stops when its result arrives. The value set
// breaks the schema, so the list holds one problem.
static void CheckUnsaved(benchmark::State &state)
{
    const bench::GeneratedDocument &document = bench::schemaDocument();
    document.reset();
    auto file = CreateQuenEngine()->WorkspaceList().at(0)->CreateController(QString(), kTarnwellProgId.toString(),
                                                                            QString(), QString())->BindFile(document.path, QString());
    TreeModel model;
    model.loadPairList(file->RunCommand(QStringLiteral("GetData")).toStringList(),
                       NameLists({QStringLiteral("Doc"), QStringLiteral("Doc/Item")}, {}, {}));
    SchemaCheck check;
    ValidationResult last;
    bool done = false;
    QObject::connect(&check, &SchemaCheck::finished, [&](SchemaCheck::Subject, const ValidationResult &result) {
        last = result;
        done = true;
    });
    auto runOnce = [&] {
        done = false;
        check.checkTextLater(SchemaCheck::Subject::UnsavedChanges, document.path, [&]() -> SchemaCheck::TextToCheck {
            const StoreDraft draft =
                file->RunCommand(QStringLiteral("PutDataDraft"), model.buildPairList()).value<StoreDraft>();
            return {draft.bytes, [draft] { return TarnwellProvider::DraftRefusal(draft); }};
        }, 0);
        while (!done)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    };
    TreeNode *item = model.rootNode()->child(16000);
    runOnce(); // reads the schema
    int round = 0;
    for (auto _ : state) {
        model.setTag(item, QStringLiteral("a value far too long for its schema, round %1").arg(++round));
        runOnce();
        if (last.problems.size() != 1) {
            state.SkipWithError("the changed document does not have exactly one problem");
            return;
        }
    }
}
BENCHMARK(CheckUnsaved)->Arg(32767)->Unit(benchmark::kMillisecond);
