// Configurations made from an XML Schema, and the tool's config --schema.
#include "ConfigFromSchema.h"
#include "Configuration.h"
#include "Error.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/sax/HandlerBase.hpp>
#include <xercesc/util/PlatformUtils.hpp>

using namespace tarnwell;
using namespace Qt::Literals::StringLiterals;

namespace {

const QString kXsd = QStringLiteral(TARNWELL_TEST_DATA "/xsd/");
const QString kExamples = QStringLiteral(TARNWELL_EXAMPLES "/");

struct Run
{
    int code;
    QByteArray out, err;
};

Run runTool(const QStringList &args, const QString &catalog = {})
{
    QProcess p;
    p.setWorkingDirectory(kXsd);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // Only the catalog a row names, so that the machine's own catalogs
    // cannot change a result.
    env.insert(QStringLiteral("XML_CATALOG_FILES"), catalog.isEmpty() ? QStringLiteral("/nonexistent") : kXsd + catalog);
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(TARNWELL_PAIRS_TOOL), QStringList{QStringLiteral("config")} + args);
    const bool finished = p.waitForFinished(30000);
    return {finished && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

// The number of validity errors Xerces finds in the document at path when it
// is checked against the schema at xsd (for namespace ns); -1 when it cannot
// be read.
int validityErrors(const QString &path, const QString &xsd, const QString &ns = {})
{
    namespace xc = XERCES_CPP_NAMESPACE;
    struct Counter : xc::HandlerBase
    {
        int count = 0;
        void error(const xc::SAXParseException &) override { ++count; }
        void fatalError(const xc::SAXParseException &) override { ++count; }
    };
    xc::XMLPlatformUtils::Initialize();
    int result = -1;
    {
        xc::XercesDOMParser parser;
        Counter counter;
        parser.setDoNamespaces(true);
        parser.setDoSchema(true);
        parser.setValidationScheme(xc::XercesDOMParser::Val_Always);
        parser.setValidationSchemaFullChecking(true);
        const QString location = ns + u' ' + xsd;
        if (ns.isEmpty())
            parser.setExternalNoNamespaceSchemaLocation(reinterpret_cast<const XMLCh *>(xsd.utf16()));
        else
            parser.setExternalSchemaLocation(reinterpret_cast<const XMLCh *>(location.utf16()));
        parser.setErrorHandler(&counter);
        try {
            parser.parse(reinterpret_cast<const XMLCh *>(path.utf16()));
            result = counter.count;
        } catch (...) {
        }
    }
    xc::XMLPlatformUtils::Terminate();
    return result;
}

} // namespace

class TestSchemaConfig : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void paths_data();
    void paths();
    void toolPrintsWhatTheLibraryMakes_data();
    void toolPrintsWhatTheLibraryMakes();
    void refusals_data();
    void refusals();
    void catalogSchemaCoversTheSampleConfiguration();
    void examplesValidate_data();
    void examplesValidate();
    void schemasOfTheWorld_data();
    void schemasOfTheWorld();
    void limitCountsEveryLine_data();
    void limitCountsEveryLine();
    void documentsWithTheirSchema_data();
    void documentsWithTheirSchema();
    void schemaPathsBelowTheDocuments_data();
    void schemaPathsBelowTheDocuments();
    void fewerLevelsWhereTwoPassTheLimit();

private:
    QTemporaryDir m_dir;
};

void TestSchemaConfig::paths_data()
{
    QTest::addColumn<QString>("schema");
    QTest::addColumn<QString>("root");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("cuts");

    QTest::newRow("sequence") << u"sequence.xsd"_s << QString() << QString()
                              << QByteArray("E,Doc\nES,Doc/Head\nE,Doc/Head/@lang\nE,Doc/Head/@id\nES,Doc/Head/Title\n"
                                            "ES,Doc/Head/Sub\nE,Doc/Item\nE,Doc/Sep\nES,Doc/\xc3\x9c" "ber\n")
                              << QStringList();
    QTest::newRow("choice and all") << u"choice.xsd"_s << QString() << QString()
                                    << QByteArray("E,R\nES,R/B\nES,R/A\nES,R/Opts\nES,R/Opts/Z\nES,R/Opts/Y\n") << QStringList();
    QTest::newRow("repeating groups") << u"repeating.xsd"_s << QString() << QString()
                                      << QByteArray("E,Map\nES,Map/Name\nE,Map/Key\nE,Map/Value\nE,Map/D\nE,Map/C\nE,Map/Tail\n")
                                      << QStringList();
    QTest::newRow("extension") << u"extension.xsd"_s << QString() << QString()
                               << QByteArray("E,People\nE,People/Person\nE,People/Person/@kind\nE,People/Person/@age\n"
                                             "E,People/Person/@created\nE,People/Person/@by\nES,People/Person/Id\n"
                                             "E,People/Person/Label\nE,People/Person/Email\nES,People/Person/Fee\n"
                                             "E,People/Person/Fee/@currency\n")
                               << QStringList();
    QTest::newRow("references and substitution groups")
        << u"substitution.xsd"_s << u"Drawing"_s << QString()
        << QByteArray("E,Drawing\nES,Drawing/Caption\nE,Drawing/Circle\nE,Drawing/Circle/@color\nE,Drawing/Circle/@r\n"
                      "E,Drawing/Square\nE,Drawing/Square/@color\nES,Drawing/Mark\nES,Drawing/Star\nES,Drawing/Dot\n"
                      "ES,Drawing/Note\n")
        << QStringList();
    QTest::newRow("recursive") << u"recursive.xsd"_s << QString() << QString()
                               << QByteArray("E,Outline\nE,Outline/Section\nE,Outline/Section/@level\n"
                                             "ES,Outline/Section/Heading\nE,Outline/Section/Section\n"
                                             "E,Outline/Section/Section/@level\nES,Outline/Section/Section/Heading\n")
                               << QStringList{QStringLiteral("Outline/Section/Section/Section"),
                                              QStringLiteral("Outline/Section/Section/Outline"),
                                              QStringLiteral("Outline/Section/Outline")};
    // The qualified attribute o:unit needs a prefix in any document, so
    // without one it is left out (and named on standard error).
    const QByteArray plainOrder("E,Order\nE,Order/Line\nE,Order/Line/@no\nES,Order/Line/Sku\n"
                                "ES,Order/Line/Qty\nES,Order/Memo\n");
    QTest::newRow("target namespace") << u"namespace.xsd"_s << u"Order"_s << QString() << plainOrder << QStringList();
    QTest::newRow("target namespace, prefixed")
        << u"namespace.xsd"_s << u"Order"_s << u"o"_s
        << QByteArray("E,o:Order\nE,o:Order/o:Line\nE,o:Order/o:Line/@no\nE,o:Order/o:Line/@o:unit\n"
                      "ES,o:Order/o:Line/o:Sku\nES,o:Order/o:Line/Qty\nES,o:Order/o:Memo\n")
        << QStringList();
    // An include is found beside the schema that names it, wherever the
    // tool runs.
    QTest::newRow("local include") << u"include_main.xsd"_s << u"Book"_s << QString()
                                   << QByteArray("E,Book\nE,Book/Part\nES,Book/Part/Name\n") << QStringList();
    QTest::newRow("no target namespace, prefix unused")
        << u"choice.xsd"_s << u"R"_s << u"p"_s << QByteArray("E,R\nES,R/B\nES,R/A\nES,R/Opts\nES,R/Opts/Z\nES,R/Opts/Y\n")
        << QStringList();
}

void TestSchemaConfig::paths()
{
    QFETCH(QString, schema);
    QFETCH(QString, root);
    QFETCH(QString, prefix);
    QFETCH(QByteArray, text);
    QFETCH(QStringList, cuts);
    const SchemaConfig config = ConfigFromSchema(kXsd + schema, root, prefix);
    QCOMPARE(config.text, text);
    QCOMPARE(config.cuts, cuts);
}

void TestSchemaConfig::toolPrintsWhatTheLibraryMakes_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("schema");
    QTest::addColumn<QString>("root");
    QTest::addColumn<QString>("prefix");
    QTest::newRow("recursive") << QStringList{QStringLiteral("--schema"), QStringLiteral("recursive.xsd")}
                               << u"recursive.xsd"_s << QString() << QString();
    QTest::newRow("root and prefix, prefix first")
        << QStringList{QStringLiteral("--prefix"), QStringLiteral("o"), QStringLiteral("--schema"),
                       QStringLiteral("namespace.xsd"), QStringLiteral("Order")}
        << u"namespace.xsd"_s << u"Order"_s << u"o"_s;
}

// Standard output holds the configuration; each cut is one line on standard
// error, and the exit status stays 0.
void TestSchemaConfig::toolPrintsWhatTheLibraryMakes()
{
    QFETCH(QStringList, args);
    QFETCH(QString, schema);
    QFETCH(QString, root);
    QFETCH(QString, prefix);
    const SchemaConfig config = ConfigFromSchema(kXsd + schema, root, prefix);
    const Run r = runTool(args);
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, config.text);
    QList<QByteArray> lines = r.err.split('\n');
    QCOMPARE(lines.takeLast(), QByteArray());
    QCOMPARE(lines.size(), config.cuts.size());
    for (qsizetype i = 0; i < lines.size(); ++i)
        QVERIFY2(lines[i].contains(' ' + config.cuts[i].toUtf8() + ':'), lines[i].constData());
}

void TestSchemaConfig::refusals_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArrayList>("message");
    const auto schema = [](const char *file, QStringList more = {}) {
        return QStringList{QStringLiteral("--schema"), QString::fromLatin1(file)} + more;
    };
    QTest::newRow("no such file") << schema("absent.xsd") << QByteArrayList{"\"absent.xsd\" cannot be read: no such file"};
    QTest::newRow("a directory") << schema(".") << QByteArrayList{"\".\" cannot be read"};
    QTest::newRow("malformed") << schema("malformed.xsd")
                               << QByteArrayList{"\"malformed.xsd\" cannot be read, line 4, column 3: ", "xs:element"};
    QTest::newRow("invalid") << schema("invalid.xsd")
                             << QByteArrayList{"\"invalid.xsd\" cannot be read, line 3, column 40: ", "Missing"};
    QTest::newRow("remote include") << schema("remote.xsd")
                                    << QByteArrayList{"\"remote.xsd\" cannot be read: it refers to \"http://192.0.2.1/part.xsd\""};
    QTest::newRow("unknown root") << schema("substitution.xsd", {QStringLiteral("Nope")})
                                  << QByteArrayList{"\"substitution.xsd\" declares no global element \"Nope\"", "\"Drawing\"", "\"Dot\""};
    QTest::newRow("abstract root") << schema("substitution.xsd", {QStringLiteral("Shape")})
                                   << QByteArrayList{"no global element \"Shape\""};
    QTest::newRow("two roots") << schema("namespace.xsd")
                               << QByteArrayList{"\"namespace.xsd\" declares 2 global elements (\"Order\", \"Memo\")"};
    QTest::newRow("two root names") << schema("namespace.xsd", {QStringLiteral("Order"), QStringLiteral("Memo")})
                                    << QByteArrayList{"at most one root"};
    QTest::newRow("schema without value") << QStringList{QStringLiteral("--schema")} << QByteArrayList{"--schema needs a value"};
    QTest::newRow("prefix without schema") << QStringList{QStringLiteral("--prefix"), QStringLiteral("p"), QStringLiteral("a.xml")}
                                           << QByteArrayList{"--prefix goes with --schema"};
}

// Nothing is printed, the status is not 0, and the message names the cause.
void TestSchemaConfig::refusals()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArrayList, message);
    const Run r = runTool(args);
    QVERIFY(r.code != 0 && r.code != -1);
    QVERIFY(r.out.isEmpty());
    for (const QByteArray &part : message)
        QVERIFY2(r.err.contains(part), r.err.constData());
}

// Whatever the sample configuration lets you edit and add, the one made from
// the catalog schema does too, with the same single flags and in the same
// order. The sample also lists the schema-location attribute, which is no
// part of the document family the schema describes.
void TestSchemaConfig::catalogSchemaCoversTheSampleConfiguration()
{
    QFile sampleFile(kExamples + QStringLiteral("TarnwellEditor.cfg"));
    QVERIFY(sampleFile.open(QIODevice::ReadOnly));
    const NameLists sample = ParseConfiguration(sampleFile.readAll());
    const NameLists made = ParseConfiguration(ConfigFromSchema(kExamples + QStringLiteral("catalog.xsd")).text);
    QStringList expected = sample.listE();
    QCOMPARE(expected.removeAll(QStringLiteral("Catalog/@noNamespaceSchemaLocation")), 1);
    QStringList madeInSampleOrder;
    for (const QString &path : made.listE()) {
        if (expected.contains(path))
            madeInSampleOrder.append(path);
    }
    QCOMPARE(madeInSampleOrder, expected);
    for (const QString &path : std::as_const(expected))
        QVERIFY2(made.isListedInS(path) == sample.isListedInS(path), qPrintable(path));
}

void TestSchemaConfig::examplesValidate_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("valid");
    for (const QString &file : QDir(kExamples).entryList({QStringLiteral("*.xml")}, QDir::Files, QDir::Name))
        QTest::newRow(qPrintable(file)) << kExamples + file << true;
    // A book without its id: the check does reject what the schema forbids.
    const QString bad = m_dir.filePath(QStringLiteral("no-id.xml"));
    QFile f(bad);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("<Catalog><Title>t</Title><Book><Title>x</Title><Author>a</Author></Book></Catalog>");
    QTest::newRow("book without id") << bad << false;
}

void TestSchemaConfig::examplesValidate()
{
    QFETCH(QString, path);
    QFETCH(bool, valid);
    const int errors = validityErrors(path, kExamples + QStringLiteral("catalog.xsd"));
    QVERIFY(errors >= 0);
    QCOMPARE(errors == 0, valid);
}

void TestSchemaConfig::schemasOfTheWorld_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("catalog");
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArrayList>("err");
    const auto args = [](const char *line) { return QString::fromUtf8(line).split(u' '); };

    // Where a derived type may be chosen, xsi:type is listed to choose it.
    QTest::newRow("derived types, one blocked, one abstract")
        << args("--schema world/derived.xsd") << QString() << 0
        << QByteArray("E,people\nE,people/person\nE,people/person/@id\nE,people/person/@can-fly\nE,people/person/@alias\n"
                      "E,people/person/@xsi:type\nE,people/person/name\nE,people/person/power\nES,people/guard\nE,people/guard/@id\nES,people/guard/name\n")
        << QByteArrayList();
    QTest::newRow("wildcards: strict, lax, skip, attribute")
        << args("--schema world/wildcards.xsd message --prefix m=urn:mail --prefix o=urn:other") << QString() << 0
        << QByteArray("E,m:message\nE,m:message/@m:thread-id\nES,m:message/m:subject\nES,m:message/m:binary\n"
                      "ES,m:message/m:body\nE,m:message/o:stamp\n")
        << QByteArrayList{"m:message/m:message: the content model is recursive"};
    QTest::newRow("a namespace without a prefix is named and left out")
        << args("--schema world/wildcards.xsd message --prefix m=urn:mail") << QString() << 0
        << QByteArray("E,m:message\nE,m:message/@m:thread-id\nES,m:message/m:subject\nES,m:message/m:binary\n"
                      "ES,m:message/m:body\n")
        << QByteArrayList{"namespace \"urn:other\" that need a prefix are left out", "--prefix P=urn:other"};
    QTest::newRow("a qualified attribute of the target namespace needs a prefix")
        << args("--schema namespace.xsd Order") << QString() << 0
        << QByteArray("E,Order\nE,Order/Line\nE,Order/Line/@no\nES,Order/Line/Sku\nES,Order/Line/Qty\nES,Order/Memo\n")
        << QByteArrayList{"namespace \"urn:tarnwell:test\" that need a prefix are left out"};
    QTest::newRow("import: substitution member, qualified attribute, same local name")
        << args("--schema world/imports.xsd batch --prefix te=urn:te") << QString() << 0
        << QByteArray("E,batch\nE,batch/@te:thread-id\nE,batch/step\nE,batch/te:block\nES,batch/thing\nES,batch/thing/mine\n"
                      "ES,batch/te:thing\nES,batch/te:thing/te:theirs\n")
        << QByteArrayList();
    QTest::newRow("DOCTYPE without its DTD") << args("--schema world/doctype.xsd") << QString() << 0
                                             << QByteArray("E,r\nE,r/@a\n") << QByteArrayList();
    QTest::newRow("a catalog maps a URL to a local copy")
        << args("--schema world/by_url.xsd r") << u"world/catalog.xml"_s << 0 << QByteArray("E,r\nES,r/part\n")
        << QByteArrayList();
    QTest::newRow("a location with an escaped blank") << args("--schema world/percent.xsd r") << QString() << 0
                                                      << QByteArray("E,r\nES,r/part\n") << QByteArrayList();
    QTest::newRow("depth") << args("--schema world/routes.xsd --depth 2") << QString() << 0
                           << QByteArray("E,r\nES,r/a\nES,r/b\n") << QByteArrayList();

    const auto refused = [&](const char *name, const char *line, QByteArrayList err) {
        QTest::newRow(name) << args(line) << QString() << 1 << QByteArray() << err;
    };
    refused("a type reached by many routes", "--schema world/routes.xsd",
            {"\"r\" gives more than 32,767 paths", "--depth N", "FILE.xml"});
    refused("elements that may all contain one another", "--schema world/mesh.xsd r",
            {"\"r\" recurses so much that more than 262,136 paths are cut", "--depth N"});
    refused("a URL no catalog maps", "--schema world/by_url.xsd r",
            {"\"http://schemas.example.org/tarnwell/part.xsd\"", "XML catalog", "XML_CATALOG_FILES"});
    refused("an entity only the external DTD declares", "--schema world/doctype_entity.xsd",
            {"&owner;", "external DTDs are not read"});
    refused("an included part with an entity only its DTD declares", "--schema world/includes_entity.xsd",
            {"doctype_entity.xsd\" cannot be read, line 4: it uses the entity &owner;"});
    refused("one prefix for two namespaces", "--schema world/imports.xsd batch --prefix a=urn:te --prefix a=urn:main",
            {"\"a\" already stands for \"urn:te\""});
    refused("a reserved prefix", "--schema world/imports.xsd batch --prefix xmlns", {"reserved"});
    refused("a missing include", "--schema world/missing_include.xsd",
            {"world/absent-part.xsd\" (named in \"", "world/missing_include.xsd\"), which does not exist"});
    refused("a missing import", "--schema world/missing_import.xsd", {"world/absent-other.xsd\" (named in"});
    refused("a DTD", "--schema world/policy.dtd", {"\"world/policy.dtd\" is not an XML Schema"});
    refused("a document", "--schema world/people.xml", {"is not an XML Schema: its root element is \"people\""});
    refused("a prefix with a colon", "--schema world/imports.xsd batch --prefix t:", {"\"t:\" is not a name"});
    QTest::newRow("a prefix with a blank") << (args("--schema world/imports.xsd batch --prefix") << u"a b"_s) << QString()
                                           << 1 << QByteArray() << QByteArrayList{"\"a b\" is not a name"};
    refused("a namespace the schema does not use", "--schema world/imports.xsd batch --prefix x=urn:nope",
            {"uses no namespace \"urn:nope\"", "\"urn:te\""});
    refused("an unknown root among many", "--schema world/globals.xsd nope", {"\"e20\" and 5 more."});
    refused("a depth of zero", "--schema world/routes.xsd --depth 0", {"--depth takes one whole number"});
}

// What the tool prints for schemas with the features real families use, and
// what it refuses: nothing on standard output, a message naming the cause.
void TestSchemaConfig::schemasOfTheWorld()
{
    QFETCH(QStringList, args);
    QFETCH(QString, catalog);
    QFETCH(int, code);
    QFETCH(QByteArray, out);
    QFETCH(QByteArrayList, err);
    const Run r = runTool(args, catalog);
    QCOMPARE(r.out, out);
    QCOMPARE(r.code, code);
    for (const QByteArray &part : err)
        QVERIFY2(r.err.contains(part), r.err.constData());
    if (err.isEmpty())
        QCOMPARE(r.err, QByteArray());
}

void TestSchemaConfig::limitCountsEveryLine_data()
{
    QTest::addColumn<int>("children");
    QTest::addColumn<bool>("refused");
    QTest::newRow("the root and 32,766 children") << 32766 << false;
    QTest::newRow("the root and 32,767 children") << 32767 << true;
}

// A configuration of 32,767 lines, the root's among them, is made; one more
// line is refused.
void TestSchemaConfig::limitCountsEveryLine()
{
    QFETCH(int, children);
    QFETCH(bool, refused);
    QByteArray text = "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\"><xs:element name=\"r\"><xs:complexType>"
                      "<xs:sequence>";
    for (int i = 0; i < children; ++i)
        text += "<xs:element name=\"c" + QByteArray::number(i) + "\" minOccurs=\"0\"/>";
    text += "</xs:sequence></xs:complexType></xs:element></xs:schema>";
    const QString path = m_dir.filePath(u"wide.xsd"_s);
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text) == text.size());
    f.close();
    try {
        const SchemaConfig config = ConfigFromSchema(path);
        QVERIFY(!refused);
        QCOMPARE(config.text.count('\n'), children + 1);
    } catch (const Error &e) {
        QVERIFY2(refused, e.what());
        QVERIFY2(e.description().contains(u"more than 32,767 paths"_s), e.what());
    }
}

void TestSchemaConfig::documentsWithTheirSchema_data()
{
    QTest::addColumn<QString>("schema");
    QTest::addColumn<QString>("ns");
    QTest::addColumn<QStringList>("documents");
    QTest::addColumn<QStringList>("extra"); // paths the schema adds beyond the documents
    QTest::newRow("xsi:type") << u"world/derived.xsd"_s << QString() << QStringList{u"world/people.xml"_s}
                              << QStringList{};
    QTest::newRow("wildcards") << u"world/wildcards.xsd"_s << u"urn:mail"_s << QStringList{u"world/message.xml"_s}
                               << QStringList{u"mail:message/mail:message"_s};
    QTest::newRow("imports") << u"world/imports.xsd"_s << u"urn:main"_s << QStringList{u"world/batch.xml"_s}
                             << QStringList{};
    QTest::newRow("the sample family") << kExamples + u"catalog.xsd"_s << QString()
                                       << QStringList{kExamples + u"doc.xml"_s, kExamples + u"shift_jis.xml"_s}
                                       << QStringList{};
}

// A configuration made from a schema with valid documents lists every path
// the documents hold, with their prefixes, and flags S no element that any
// of them repeats under one parent.
void TestSchemaConfig::documentsWithTheirSchema()
{
    QFETCH(QString, schema);
    QFETCH(QString, ns);
    QFETCH(QStringList, documents);
    QFETCH(QStringList, extra);
    const Run made = runTool(QStringList{u"--schema"_s, schema} + documents);
    QVERIFY2(made.code == 0, made.err.constData());
    const NameLists lists = ParseConfiguration(made.out);
    QSet<QString> documentPaths;
    for (const QString &document : documents) {
        QCOMPARE(validityErrors(QDir(kXsd).absoluteFilePath(document), QDir(kXsd).absoluteFilePath(schema), ns), 0);
        QProcess get;
        get.start(QStringLiteral(TARNWELL_PAIRS_TOOL), {u"get"_s, QDir(kXsd).absoluteFilePath(document)});
        QVERIFY(get.waitForFinished(30000) && get.exitCode() == 0);
        for (const QByteArray &line : get.readAllStandardOutput().split('\n')) {
            if (line.isEmpty())
                continue;
            const QString indexed = QString::fromUtf8(line).section(u',', 2, 2);
            QStringList segments = indexed.split(u'/');
            const bool repeated = segments.last().contains(u'[');
            for (QString &segment : segments)
                segment = segment.section(u'[', 0, 0);
            const QString plain = segments.join(u'/');
            documentPaths.insert(plain);
            QVERIFY2(lists.isListedInE(plain), qPrintable(plain));
            QVERIFY2(!(repeated && lists.isListedInS(plain)), qPrintable(plain));
        }
    }
    for (const QString &path : std::as_const(extra))
        QVERIFY2(lists.isListedInE(path) && !documentPaths.contains(path), qPrintable(path));
}

// Below each path the documents hold, the schema's paths follow --depth
// elements deep (2 unless given), each element's attributes with it, so an
// element that Add offers can be filled in.
void TestSchemaConfig::schemaPathsBelowTheDocuments_data()
{
    QTest::addColumn<QStringList>("depth");
    QTest::addColumn<QByteArray>("config");
    const QByteArray top = "E,person\nES,person/name\nES,person/url\nE,person/url/@href\n";
    const QByteArray below = "E,person/url/label\nE,person/url/label/@lang\n";
    QTest::newRow("two levels unless given") << QStringList() << top + below;
    QTest::newRow("--depth 1") << QStringList{u"--depth"_s, u"1"_s} << top;
    QTest::newRow("--depth 3") << QStringList{u"--depth"_s, u"3"_s} << top + below + "ES,person/url/label/note\n";
}

void TestSchemaConfig::schemaPathsBelowTheDocuments()
{
    QFETCH(QStringList, depth);
    QFETCH(QByteArray, config);
    const QString schema = m_dir.filePath(u"personal.xsd"_s);
    const QString document = m_dir.filePath(u"personal.xml"_s);
    QFile xsd(schema), xml(document);
    QVERIFY(xsd.open(QIODevice::WriteOnly) && xml.open(QIODevice::WriteOnly));
    xsd.write(R"(<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema">
  <xs:element name="person"><xs:complexType><xs:sequence>
    <xs:element name="name" type="xs:string"/>
    <xs:element name="url" minOccurs="0"><xs:complexType><xs:sequence>
      <xs:element name="label" minOccurs="0" maxOccurs="unbounded"><xs:complexType><xs:sequence>
        <xs:element name="note" type="xs:string" minOccurs="0"/></xs:sequence>
        <xs:attribute name="lang" type="xs:language"/></xs:complexType></xs:element>
      </xs:sequence><xs:attribute name="href" type="xs:anyURI" use="required"/></xs:complexType></xs:element>
  </xs:sequence></xs:complexType></xs:element>
</xs:schema>)");
    xml.write("<person><name>Ann</name></person>");
    xsd.close();
    xml.close();
    const Run made = runTool(QStringList{u"--schema"_s, schema, document} + depth);
    QVERIFY2(made.code == 0, made.err.constData());
    QCOMPARE(made.out, config);
}

// A vocabulary whose elements may all hold one another passes the limit
// two levels below the documents: one level is listed, with a note, unless
// --depth asked for two, which is refused naming the way out.
void TestSchemaConfig::fewerLevelsWhereTwoPassTheLimit()
{
    QByteArray xsd = "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">\n"
                     "<xs:complexType name=\"any\"><xs:choice minOccurs=\"0\" maxOccurs=\"unbounded\">";
    for (int i = 0; i < 200; ++i)
        xsd += "<xs:element ref=\"e" + QByteArray::number(i) + "\"/>";
    xsd += "</xs:choice></xs:complexType>\n<xs:element name=\"root\" type=\"any\"/>\n";
    for (int i = 0; i < 200; ++i)
        xsd += "<xs:element name=\"e" + QByteArray::number(i) + "\" type=\"any\"/>\n";
    xsd += "</xs:schema>\n";
    const QString schema = m_dir.filePath(u"fan.xsd"_s);
    const QString document = m_dir.filePath(u"fan.xml"_s);
    QFile f(schema), d(document);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(xsd) == xsd.size() && d.open(QIODevice::WriteOnly));
    d.write("<root><e1/></root>");
    f.close();
    d.close();
    const Run made = runTool({u"--schema"_s, schema, document});
    QVERIFY2(made.code == 0, made.err.constData());
    QVERIFY2(made.err.contains("go 1 element deep: 2 would pass 32,767 paths"), made.err.constData());
    QVERIFY(made.out.contains("\nE,root/e1/e5\n"));      // one level below a document's element
    QVERIFY(!made.out.contains("\nE,root/e2/e5\n"));     // but not two below the root's
    const Run asked = runTool({u"--schema"_s, schema, document, u"--depth"_s, u"2"_s});
    QCOMPARE(asked.code, 1);
    QVERIFY2(asked.err.contains("fewer levels below them with --depth 1"), asked.err.constData());
}

QTEST_GUILESS_MAIN(TestSchemaConfig)
#include "tst_schemaconfig.moc"
