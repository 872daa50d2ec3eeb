// Configurations from large schemas: the walk must stop at the limit of a
// configuration within bounded time and memory, however many routes the
// schema has.
#include "ConfigFromSchema.h"
#include "Error.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

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
