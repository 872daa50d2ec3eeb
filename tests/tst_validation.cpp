// Documents checked against their schema, and the tool's validate.
#include "Error.h"
#include "SchemaCheck.h"
#include "SchemaGuide.h"
#include "SchemaValidator.h"
#include "ValueHelp.h"

#include <QSignalSpy>
#include <QThreadPool>

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using namespace tarnwell;
using namespace Qt::Literals::StringLiterals;

namespace {

const QString kExamples = QStringLiteral(TARNWELL_EXAMPLES "/");

QByteArray sample()
{
    QFile f(kExamples + u"doc.xml"_s);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

using Status = ValidationResult::Status;

} // namespace

class TestValidation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void check_data();
    void check();
    void schemaChangedOnDiskIsReadAgain();
    void tool_data();
    void tool();
    void hostileSchemaIsNotChecked_data();
    void catalogsNeverReachTheNetwork();
    void newerCheckSupersedesOlder();
    void hostileSchemaIsNotChecked();
    void guideSaysWhatIsAllowed_data();
    void guideSaysWhatIsAllowed();
    void problemsReachTheirNode();

private:
    QTemporaryDir m_dir;
    QString place(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(name);
        return writeFile(path, bytes) ? path : QString();
    }
};

void TestValidation::initTestCase()
{
    QFile schema(kExamples + u"catalog.xsd"_s);
    QVERIFY(schema.open(QIODevice::ReadOnly));
    QVERIFY(!place(u"catalog.xsd"_s, schema.readAll()).isEmpty());
    // A type that holds itself, so documents may nest as deep as they like.
    QVERIFY(!place(u"deep.xsd"_s, "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">"
                                  "<xs:element name=\"N\" type=\"T\"/><xs:complexType name=\"T\"><xs:sequence>"
                                  "<xs:element ref=\"N\" minOccurs=\"0\"/></xs:sequence>"
                                  "<xs:attribute name=\"x\" type=\"xs:int\"/></xs:complexType></xs:schema>")
                 .isEmpty());
    // A schema URL, and a namespace name (as for a document that names no
    // schema), mapped to local files.
    QVERIFY(!place(u"ns.xsd"_s, "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" targetNamespace=\"urn:pom\" "
                                "elementFormDefault=\"qualified\"><xs:element name=\"project\"><xs:complexType><xs:sequence>"
                                "<xs:element name=\"v\" type=\"xs:int\"/></xs:sequence></xs:complexType></xs:element></xs:schema>")
                 .isEmpty());
    QVERIFY(!place(u"map.xml"_s, "<catalog xmlns=\"urn:oasis:names:tc:entity:xmlns:xml:catalog\"><uri "
                                 "name=\"http://example.com/catalog.xsd\" uri=\"" +
                                     QUrl::fromLocalFile(m_dir.filePath(u"catalog.xsd"_s)).toEncoded() + "\"/><uri name=\"urn:pom\" uri=\"" +
                                     QUrl::fromLocalFile(m_dir.filePath(u"ns.xsd"_s)).toEncoded() + "\"/></catalog>")
                 .isEmpty());
    QVERIFY(!place(u"malformed.xsd"_s, "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\"><xs:element name=\"x\">"
                                       "</xs:schema>")
                 .isEmpty());
}

void TestValidation::check_data()
{
    QTest::addColumn<QByteArray>("from");
    QTest::addColumn<QByteArray>("to");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("detail"); // the reason, or the first problem as "line:path:message part"

    const QByteArray second = "<Book id=\"b2\">";
    QTest::newRow("valid") << QByteArray() << QByteArray() << int(Status::Valid) << QString();
    QTest::newRow("a wrong type") << second << QByteArray("<Book id=\"2b\">") << int(Status::Invalid)
                                  << u"10:Catalog/Book[1]:'2b'"_s;
    QTest::newRow("a missing required child")
        << QByteArray("<Title>The Pragmatic Reader</Title>\n") << QByteArray() << int(Status::Invalid)
        << u"14:Catalog/Book[1]:content model"_s;
    QTest::newRow("an element out of order")
        << QByteArray("<Author>夏目漱石</Author>\n    <Price>1,200</Price>")
        << QByteArray("<Price>1,200</Price>\n    <Author>夏目漱石</Author>") << int(Status::Invalid)
        << u"9:Catalog/Book/Price:'Price'"_s;
    QTest::newRow("an unknown attribute") << QByteArray("<Footer>") << QByteArray("<Footer lang=\"en\">")
                                          << int(Status::Invalid) << u"16:Catalog/Footer:'lang'"_s;
    QTest::newRow("a deeper element's own path")
        << QByteArray("<Note>Second edition, revised</Note>") << QByteArray("<Note><b/></Note>") << int(Status::Invalid)
        << u"14:Catalog/Book[1]/Note:"_s;
    QTest::newRow("no schema hint") << QByteArray(" xsi:noNamespaceSchemaLocation=\"catalog.xsd\"") << QByteArray()
                                    << int(Status::NotChecked) << u"no schema named"_s;
    QTest::newRow("a URL") << QByteArray("\"catalog.xsd\"") << QByteArray("\"http://192.0.2.1/catalog.xsd\"")
                           << int(Status::NotChecked) << u"http://192.0.2.1/catalog.xsd is not a local file"_s;
    QTest::newRow("a missing schema") << QByteArray("\"catalog.xsd\"") << QByteArray("\"absent.xsd\"")
                                      << int(Status::NotChecked) << u"absent.xsd not found"_s;
    QTest::newRow("a missing schema in a folder") << QByteArray("\"catalog.xsd\"") << QByteArray("\"sub/catalog.xsd\"")
                                                  << int(Status::NotChecked) << u"sub/catalog.xsd not found"_s;
    QTest::newRow("a malformed schema") << QByteArray("\"catalog.xsd\"") << QByteArray("\"malformed.xsd\"")
                                        << int(Status::NotChecked) << u"the schema cannot be read: "_s;
    QTest::newRow("a malformed document") << QByteArray("</Catalog>") << QByteArray("</Catalogue>")
                                          << int(Status::NotChecked) << u"the document is not well-formed: line 17"_s;
}

void TestValidation::check()
{
    QFETCH(QByteArray, from);
    QFETCH(QByteArray, to);
    QFETCH(int, status);
    QFETCH(QString, detail);
    QByteArray bytes = sample();
    QVERIFY(from.isEmpty() || bytes.contains(from));
    if (!from.isEmpty())
        bytes.replace(from, to);
    const QString document = place(u"doc.xml"_s, bytes);
    SchemaValidator validator;
    const ValidationResult result = validator.validate(document);
    QCOMPARE(int(result.status), status);
    if (status == int(Status::NotChecked)) {
        QVERIFY2(result.reason.startsWith(detail), qPrintable(result.reason));
        return;
    }
    if (status == int(Status::Valid)) {
        QCOMPARE(result.schemaName, u"catalog.xsd"_s);
        QVERIFY(result.problems.isEmpty());
        return;
    }
    QVERIFY(!result.problems.isEmpty());
    const ValidationProblem &p = result.problems.first();
    const QStringList parts = detail.split(u':');
    QCOMPARE(p.line, parts[0].toInt());
    QCOMPARE(p.path, parts[1]);
    QVERIFY2(p.message.contains(parts[2]), qPrintable(p.message));
}

// The cached schema is read again once its file changes, so a fixed schema
// is not judged by its old text.
void TestValidation::schemaChangedOnDiskIsReadAgain()
{
    QByteArray bytes = sample();
    bytes.replace("\"catalog.xsd\"", "\"own.xsd\"");
    const QString document = place(u"own-doc.xml"_s, bytes.replace("<Footer>", "<Footer lang=\"en\">"));
    QFile schema(kExamples + u"catalog.xsd"_s);
    QVERIFY(schema.open(QIODevice::ReadOnly));
    const QByteArray strict = schema.readAll();
    QVERIFY(!place(u"own.xsd"_s, strict).isEmpty());
    SchemaValidator validator;
    QCOMPARE(validator.validate(document).status, Status::Invalid);
    QByteArray lenient = strict;
    lenient.replace("<xs:element name=\"Footer\" type=\"xs:string\" minOccurs=\"0\"/>",
                    "<xs:element name=\"Footer\" minOccurs=\"0\"><xs:complexType><xs:simpleContent><xs:extension "
                    "base=\"xs:string\"><xs:attribute name=\"lang\"/></xs:extension></xs:simpleContent></xs:complexType>"
                    "</xs:element>");
    QVERIFY(lenient != strict);
    QVERIFY(!place(u"own.xsd"_s, lenient).isEmpty());
    QCOMPARE(validator.validate(document).status, Status::Valid);
}

void TestValidation::tool_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QStringList>("more");
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("err");
    const QByteArray valid = sample();
    QTest::newRow("valid") << valid << QStringList() << 0 << QByteArray() << QByteArray();
    QTest::newRow("problems") << QByteArray(valid).replace("<Footer>", "<Footer lang=\"en\">") << QStringList() << 1
                              << QByteArray(":16:21: Catalog/Footer: ") << QByteArray();
    QTest::newRow("not checked") << QByteArray(valid).replace("catalog.xsd", "absent.xsd") << QStringList() << 2
                                 << QByteArray() << QByteArray("not checked: absent.xsd not found");
    QTest::newRow("schema given") << QByteArray(valid).replace("catalog.xsd", "absent.xsd")
                                  << QStringList{u"--schema"_s, u"catalog.xsd"_s} << 0 << QByteArray() << QByteArray();
    QTest::newRow("schema URL through a catalog")
        << QByteArray(valid).replace("catalog.xsd", "absent.xsd")
        << QStringList{u"--schema"_s, u"http://example.com/catalog.xsd"_s} << 0 << QByteArray() << QByteArray();
    QTest::newRow("schema URL no catalog maps")
        << valid << QStringList{u"--schema"_s, u"http://192.0.2.1/catalog.xsd"_s} << 2 << QByteArray()
        << QByteArray("http://192.0.2.1/catalog.xsd is not a local file; to use a local copy, map it in an XML catalog");
    // A document beyond the reader's limits is not checked, with the limit
    // named: Xerces has no bound of its own.
    QByteArray deep = "<N xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xsi:noNamespaceSchemaLocation=\"deep.xsd\">";
    deep += QByteArray("<N>").repeated(299) + "\n<N x=\"bad\"/>" + QByteArray("</N>").repeated(300);
    QTest::newRow("deeper than the reader reads")
        << deep << QStringList() << 2 << QByteArray()
        << QByteArray("not checked: the document goes beyond what the editor reads: it nests elements deeper than 256 levels");
    const QByteArray entities =
        QByteArray(valid)
            .replace("<Catalog ", "<!DOCTYPE Catalog [<!ENTITY e \"" + QByteArray(100000, 'x') + "\">]>\n<Catalog ")
            .replace("Spring list, 2027", QByteArray("&e;").repeated(101));
    QTest::newRow("entities beyond the reader's limit")
        << entities << QStringList() << 2 << QByteArray()
        << QByteArray("not checked: the document goes beyond what the editor reads: its references to entities expand "
                      "to more than 10,000,000 bytes of text");
    // An undeclared root: its namespace declarations are not listed as
    // undeclared attributes besides (a whole output ends in a line feed).
    // No schema named: the catalogs map the root's namespace, as xmllint's.
    QTest::newRow("schema found by its namespace")
        << QByteArray("<project xmlns=\"urn:pom\"><v>x</v></project>") << QStringList() << 1
        << QByteArray(":1:34: project/v: value 'x' is not a whole number (xs:integer, or a type derived from it such as "
                      "xs:int or xs:positiveInteger) (value 'x' does not match regular expression facet") << QByteArray();
    QTest::newRow("an undeclared root")
        << QByteArray("<s:Other xmlns:s=\"urn:s\" xmlns=\"urn:d\"/>") << QStringList{u"--schema"_s, u"catalog.xsd"_s} << 1
        << QByteArray(":1:41: s:Other: no declaration found for element 's:Other'\n") << QByteArray();
    QTest::newRow("an external entity")
        << QByteArray(valid).replace("<Catalog ", "<!DOCTYPE Catalog [<!ENTITY x SYSTEM \"file:///etc/hostname\">]>\n<Catalog ")
               .replace("Spring list, 2027", "&x;")
        << QStringList() << 2 << QByteArray() << QByteArray("not checked: the document uses the external entity \"file:///etc/hostname\"");
    QTest::newRow("an unknown option") << valid << QStringList{u"--bogus"_s} << 2 << QByteArray() << QByteArray("--bogus");
    QTest::newRow("two files") << valid << QStringList{u"tool.xml"_s} << 2 << QByteArray() << QByteArray("arguments");
}

// One problem a line as FILE:LINE:COLUMN: PATH: MESSAGE; 0 valid, 1 problems,
// 2 not checked with the reason.
void TestValidation::tool()
{
    QFETCH(QByteArray, document);
    QFETCH(QStringList, more);
    QFETCH(int, code);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    QVERIFY(!place(u"tool.xml"_s, document).isEmpty());
    QProcess p;
    p.setWorkingDirectory(m_dir.path());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"XML_CATALOG_FILES"_s, m_dir.filePath(u"map.xml"_s));
    p.setProcessEnvironment(environment);
    p.start(QStringLiteral(TARNWELL_PAIRS_TOOL), QStringList{u"validate"_s, u"tool.xml"_s} + more);
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), code);
    const QByteArray stdoutText = p.readAllStandardOutput();
    if (out.endsWith('\n'))
        QCOMPARE(stdoutText, "tool.xml" + out);
    else
        QVERIFY2(out.isEmpty() ? stdoutText.isEmpty() : stdoutText.startsWith("tool.xml" + out), stdoutText.constData());
    const QByteArray stderrText = p.readAllStandardError();
    QVERIFY2(err.isEmpty() ? stderrText.isEmpty() : stderrText.contains(err), stderrText.constData());
}

// A schema whose content models would unfold into millions of particles,
// or that nests deeper than a document may, is refused before Xerces builds
// it (which would take gigabytes, or overflow its stack).
void TestValidation::hostileSchemaIsNotChecked_data()
{
    QTest::addColumn<QByteArray>("schema");
    QTest::addColumn<QString>("reason");
    const QByteArray head = "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\"><xs:element name=\"r\"><xs:complexType>";
    const QByteArray tail = "</xs:complexType></xs:element></xs:schema>";
    const QByteArray seq = "<xs:sequence minOccurs=\"0\" maxOccurs=\"1000\">";
    QTest::newRow("nested maxOccurs")
        << head + seq.repeated(3) + "<xs:element name=\"a\"/>" + QByteArray("</xs:sequence>").repeated(3) + tail
        << u"a content model unfolds into more than 100,000 particles"_s;
    QTest::newRow("maxOccurs through named groups")
        << QByteArray("<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\"><xs:element name=\"r\"><xs:complexType>"
                      "<xs:group ref=\"g1\" maxOccurs=\"1000\"/></xs:complexType></xs:element><xs:group name=\"g1\"><xs:sequence>"
                      "<xs:group ref=\"g2\" maxOccurs=\"1000\"/></xs:sequence></xs:group><xs:group name=\"g2\"><xs:sequence>"
                      "<xs:element name=\"a\" maxOccurs=\"1000\"/></xs:sequence></xs:group></xs:schema>")
        << u"a content model unfolds into more than 100,000 particles"_s;
    QTest::newRow("100,000 nested sequences")
        << head + QByteArray("<xs:sequence>").repeated(100000) + QByteArray("</xs:sequence>").repeated(100000) + tail
        << u"it nests elements deeper than 256 levels"_s;
    QByteArray chain = "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\"><xs:element name=\"r\" type=\"S0\"/>";
    for (int i = 0; i < 20000; ++i)
        chain += "<xs:simpleType name=\"S" + QByteArray::number(i) + "\"><xs:restriction base=\"S" + QByteArray::number(i + 1) + "\"/></xs:simpleType>";
    chain += "<xs:simpleType name=\"S20000\"><xs:restriction base=\"xs:string\"/></xs:simpleType></xs:schema>";
    QTest::newRow("20,000 types derived one from the next") << chain << u"it derives types from one another more than 256 levels deep"_s;
    // Each group refers to the next twice: counted once a group, not once
    // a path (2^40 of them), and far beyond the particle limit.
    QByteArray doubling = "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\"><xs:element name=\"r\"><xs:complexType>"
                          "<xs:group ref=\"g0\"/></xs:complexType></xs:element>";
    for (int i = 0; i < 40; ++i)
        doubling += "<xs:group name=\"g" + QByteArray::number(i) + "\"><xs:sequence><xs:group ref=\"g" + QByteArray::number(i + 1) +
                    "\"/><xs:group ref=\"g" + QByteArray::number(i + 1) + "\"/></xs:sequence></xs:group>";
    doubling += "<xs:group name=\"g40\"><xs:sequence><xs:element name=\"a\" minOccurs=\"0\"/></xs:sequence></xs:group></xs:schema>";
    QTest::newRow("groups doubling level after level") << doubling << u"a content model unfolds into more than 100,000 particles"_s;
    QByteArray groupChain = "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\"><xs:element name=\"r\"><xs:complexType>"
                            "<xs:group ref=\"g0\"/></xs:complexType></xs:element>";
    for (int i = 0; i < 5000; ++i)
        groupChain += "<xs:group name=\"g" + QByteArray::number(i) + "\"><xs:sequence><xs:group ref=\"g" + QByteArray::number(i + 1) +
                      "\"/></xs:sequence></xs:group>";
    groupChain += "<xs:group name=\"g5000\"><xs:sequence><xs:element name=\"a\"/></xs:sequence></xs:group></xs:schema>";
    QTest::newRow("5,000 groups each referring to the next") << groupChain << u"its named groups refer to one another more than 256 levels deep"_s;
    QTest::newRow("20,000 nested element declarations")
        << QByteArray("<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">") +
               QByteArray("<xs:element name=\"e\"><xs:complexType><xs:sequence>").repeated(20000) +
               QByteArray("</xs:sequence></xs:complexType></xs:element>").repeated(20000) + "</xs:schema>"
        << u"it nests elements deeper than 256 levels"_s;
}

void TestValidation::hostileSchemaIsNotChecked()
{
    QFETCH(QByteArray, schema);
    QFETCH(QString, reason);
    const QString xsd = place(u"hostile.xsd"_s, schema);
    const QString doc = place(u"hostile.xml"_s, "<r/>");
    QVERIFY(!xsd.isEmpty() && !doc.isEmpty());
    SchemaValidator validator;
    const ValidationResult result = validator.validate(doc, xsd);
    QCOMPARE(result.status, ValidationResult::Status::NotChecked);
    QVERIFY2(result.reason.contains(reason), qPrintable(result.reason));
}

// Catalogs are read from local regular files only: one named by a URL is
// noted and passed over, a FIFO is not waited on, and the URLs a local
// catalog delegates to are never fetched. A server on this machine sees no
// connection.
void TestValidation::catalogsNeverReachTheNetwork()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    const QString base = u"http://127.0.0.1:%1/"_s.arg(server.serverPort());
    const QString local = place(u"local-catalog.xml"_s,
                                "<catalog xmlns=\"urn:oasis:names:tc:entity:xmlns:xml:catalog\">"
                                "<delegateURI uriStartString=\"http://example.org/\" catalog=\"" + base.toUtf8() + "delegate.xml\"/>"
                                "<nextCatalog catalog=\"" + base.toUtf8() + "next.xml\"/></catalog>");
    const QString fifo = m_dir.filePath(u"fifo-catalog.xml"_s);
    QVERIFY(QProcess::execute(u"mkfifo"_s, {fifo}) == 0);
    const QString doc = place(u"remote.xml"_s, "<r xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                                               "xsi:noNamespaceSchemaLocation=\"http://example.org/r.xsd\"/>");
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"XML_CATALOG_FILES"_s, base + u"catalog.xml "_s + local + u' ' + fifo);
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(TARNWELL_PAIRS_TOOL), {u"validate"_s, doc});
    QVERIFY2(p.waitForFinished(20000), "validate waited on a catalog");
    const QString err = QString::fromUtf8(p.readAllStandardError());
    QCOMPARE(p.exitCode(), 2);
    QVERIFY2(err.contains(u"note: the catalog \"%1catalog.xml\" is not read: catalogs are read from local files only"_s.arg(base)),
             qPrintable(err));
    QVERIFY2(err.contains(u"note: the catalog \"%1\" is not read: it is not a regular file"_s.arg(fifo)), qPrintable(err));
    QVERIFY2(err.contains(u"http://example.org/r.xsd is not a local file"_s), qPrintable(err));
    QVERIFY(!server.waitForNewConnection(200));
}

// The checks beside the window: of two requests in the pause only the
// second runs; a request made while a check runs supersedes it, so the
// running check's result is never reported; a text that cannot be made is
// "not checked", with the reason.
void TestValidation::newerCheckSupersedesOlder()
{
    const QString document = place(u"live.xml"_s, sample());
    const QByteArray valid = sample();
    const QByteArray invalid = QByteArray(valid).replace("<Footer>", "<Footer lang=\"en\">");
    SchemaCheck check;
    QSignalSpy finished(&check, &SchemaCheck::finished);
    auto statuses = [&] {
        QList<ValidationResult::Status> out;
        for (const QList<QVariant> &args : finished)
            out.append(args.at(1).value<ValidationResult>().status);
        return out;
    };
    auto settle = [&] {
        QTest::qWait(100);
        QThreadPool::globalInstance()->waitForDone(10000);
        QCoreApplication::processEvents();
    };
    // In the pause.
    check.checkTextLater(SchemaCheck::Subject::UnsavedChanges, document, [&] { return invalid; }, 50);
    check.checkTextLater(SchemaCheck::Subject::UnsavedChanges, document, [&] { return valid; }, 50);
    QTRY_COMPARE(finished.size(), 1);
    settle();
    QCOMPARE(statuses(), QList<ValidationResult::Status>{Status::Valid});
    // While one runs.
    finished.clear();
    check.checkTextLater(SchemaCheck::Subject::UnsavedChanges, document, [&] { return invalid; }, 0);
    QTRY_VERIFY(check.isRunning());
    check.checkTextLater(SchemaCheck::Subject::UnsavedChanges, document, [&] { return valid; }, 0);
    QTRY_COMPARE(finished.size(), 1);
    settle();
    QCOMPARE(statuses(), QList<ValidationResult::Status>{Status::Valid});
    // No text to check.
    finished.clear();
    check.checkTextLater(SchemaCheck::Subject::UnsavedChanges, document, []() -> QByteArray {
        throw Error(u"the changes cannot be stored"_s);
    }, 0);
    QTRY_COMPARE(finished.size(), 1);
    const ValidationResult result = finished.first().at(1).value<ValidationResult>();
    QCOMPARE(result.status, Status::NotChecked);
    QCOMPARE(result.reason, u"the changes cannot be stored"_s);
    // A valid text that a store would refuse when it reads it back is not
    // called valid: the refusal is the reason.
    finished.clear();
    check.checkTextLater(SchemaCheck::Subject::UnsavedChanges, document, [&]() -> SchemaCheck::TextToCheck {
        return {valid, [] { return u"the result would not hold exactly the data sent"_s; }};
    }, 0);
    QTRY_COMPARE(finished.size(), 1);
    const ValidationResult refused = finished.first().at(1).value<ValidationResult>();
    QCOMPARE(refused.status, Status::NotChecked);
    QCOMPARE(refused.reason, u"the result would not hold exactly the data sent"_s);
}

QTEST_GUILESS_MAIN(TestValidation)
// What the schema allows at a node, in words, from its declaration: the
// type, an enumeration, facets, and whether the node must be there.
void TestValidation::guideSaysWhatIsAllowed_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("type"); // empty: not declared there
    QTest::addColumn<QStringList>("choices");
    QTest::addColumn<QStringList>("limits");
    QTest::addColumn<bool>("required");
    QTest::newRow("root") << u"r"_s << u"no text of its own, only child elements"_s << QStringList() << QStringList() << true;
    QTest::newRow("built-in type") << u"r/n"_s << u"a positive integer (xs:positiveInteger)"_s << QStringList()
                                   << QStringList() << true;
    QTest::newRow("enumeration, optional")
        << u"r/c"_s << u"text (xs:string), as the type colour restricts it"_s << QStringList{u"red"_s, u"green"_s}
        << QStringList() << false;
    QTest::newRow("facets") << u"r/s"_s << u"text (xs:string)"_s << QStringList()
                            << QStringList{u"at most 5 characters"_s, u"matching the pattern [a-z]+"_s} << false;
    QTest::newRow("boolean") << u"r/b"_s << u"true or false (xs:boolean)"_s << QStringList{u"true"_s, u"false"_s}
                             << QStringList() << false;
    // What a built-in type says already is not repeated as a limit; a
    // pattern of a type restricted further still applies.
    QTest::newRow("a restricted built-in type") << u"r/i"_s << u"a whole number (xs:int)"_s << QStringList()
                                                << QStringList{u"at most 99"_s} << false;
    QTest::newRow("a restricted pattern type")
        << u"r/pc"_s << u"text (xs:string), as the type shortCode restricts it"_s << QStringList()
        << QStringList{u"at most 4 characters"_s, u"matching the pattern [A-Z]+"_s} << false;
    QTest::newRow("a restricted list of an enumeration")
        << u"r/ls"_s << u"a list of text (xs:string), as the type colour restricts it, separated by spaces"_s << QStringList()
        << QStringList{u"each item one of \"red\", \"green\""_s, u"at most 3 items"_s} << false;
    QTest::newRow("a union with an enumeration")
        << u"r/u"_s << u"a positive integer (xs:positiveInteger), or one of \"auto\""_s << QStringList{u"auto"_s}
        << QStringList() << false;
    // A child of a choice is never required, though the choice is.
    QTest::newRow("in a choice") << u"r/k/x"_s << u"a date, YYYY-MM-DD (xs:date)"_s << QStringList() << QStringList() << false;
    QTest::newRow("in a required sequence of a group")
        << u"r/k/z"_s << u"a whole number (xs:int)"_s << QStringList() << QStringList() << true;
    // A name in several places: required where one place of a sequence,
    // or every alternative of a choice, requires it.
    QTest::newRow("optional first, required later")
        << u"r/m/a"_s << u"text (xs:string)"_s << QStringList() << QStringList() << true;
    QTest::newRow("in every alternative") << u"r/m/w"_s << u"text (xs:string)"_s << QStringList() << QStringList() << true;
    QTest::newRow("in one alternative") << u"r/m/v"_s << u"text (xs:string)"_s << QStringList() << QStringList() << false;
    QTest::newRow("required attribute") << u"r/@id"_s << u"a whole number (xs:int)"_s << QStringList() << QStringList() << true;
    QTest::newRow("range") << u"r/@q"_s << u"a decimal number (xs:decimal)"_s << QStringList()
                           << QStringList{u"at least 0"_s, u"less than 10"_s} << false;
    QTest::newRow("list") << u"r/@l"_s << u"a list of a whole number (xs:int), separated by spaces"_s << QStringList()
                          << QStringList() << false;
    QTest::newRow("prefixed attribute") << u"r/@p:w"_s << u"a URI (xs:anyURI)"_s << QStringList() << QStringList() << false;
    // Admitted by an attribute wildcard: its global declaration says what.
    QTest::newRow("through a wildcard") << u"r/@p:n"_s << u"a whole number, 0 or more (xs:nonNegativeInteger)"_s
                                        << QStringList() << QStringList() << false;
    QTest::newRow("through a wildcard, undeclared")
        << u"r/@p:zz"_s << u"any value, as a wildcard of the schema admits the attribute"_s << QStringList()
        << QStringList() << false;
    QTest::newRow("undeclared child") << u"r/zz"_s << QString() << QStringList() << QStringList() << false;
    QTest::newRow("undeclared attribute") << u"r/@zz"_s << QString() << QStringList() << QStringList() << false;
    QTest::newRow("another root") << u"q/n"_s << QString() << QStringList() << QStringList() << false;
}

void TestValidation::guideSaysWhatIsAllowed()
{
    QFETCH(QString, path);
    QFETCH(QString, type);
    QFETCH(QStringList, choices);
    QFETCH(QStringList, limits);
    QFETCH(bool, required);
    const QString schema = place(u"guide.xsd"_s, R"(<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema"
        xmlns:w="urn:w" elementFormDefault="unqualified">
  <xs:import namespace="urn:w" schemaLocation="guide-w.xsd"/>
  <xs:simpleType name="colour"><xs:restriction base="xs:string">
    <xs:enumeration value="red"/><xs:enumeration value="green"/></xs:restriction></xs:simpleType>
  <xs:simpleType name="code"><xs:restriction base="xs:string"><xs:pattern value="[A-Z]+"/></xs:restriction></xs:simpleType>
  <xs:simpleType name="shortCode"><xs:restriction base="code"><xs:maxLength value="4"/></xs:restriction></xs:simpleType>
  <xs:group name="g"><xs:sequence><xs:element name="z" type="xs:int"/></xs:sequence></xs:group>
  <xs:element name="r"><xs:complexType><xs:sequence>
    <xs:element name="n" type="xs:positiveInteger"/>
    <xs:element name="c" type="colour" minOccurs="0"/>
    <xs:element name="s" minOccurs="0"><xs:simpleType><xs:restriction base="xs:string">
      <xs:maxLength value="5"/><xs:pattern value="[a-z]+"/></xs:restriction></xs:simpleType></xs:element>
    <xs:element name="b" type="xs:boolean" minOccurs="0"/>
    <xs:element name="i" minOccurs="0"><xs:simpleType><xs:restriction base="xs:int">
      <xs:maxInclusive value="99"/></xs:restriction></xs:simpleType></xs:element>
    <xs:element name="pc" type="shortCode" minOccurs="0"/>
    <xs:element name="ls" minOccurs="0"><xs:simpleType><xs:restriction><xs:simpleType><xs:list itemType="colour"/>
      </xs:simpleType><xs:maxLength value="3"/></xs:restriction></xs:simpleType></xs:element>
    <xs:element name="u" minOccurs="0"><xs:simpleType><xs:union memberTypes="xs:positiveInteger"><xs:simpleType>
      <xs:restriction base="xs:token"><xs:enumeration value="auto"/></xs:restriction></xs:simpleType></xs:union>
      </xs:simpleType></xs:element>
    <xs:element name="k"><xs:complexType><xs:sequence>
      <xs:choice><xs:element name="x" type="xs:date"/><xs:element name="y" type="xs:time"/></xs:choice>
      <xs:group ref="g"/></xs:sequence></xs:complexType></xs:element>
    <xs:element name="m"><xs:complexType><xs:sequence>
      <xs:element name="a" type="xs:string" minOccurs="0"/><xs:element name="q" type="xs:string"/>
      <xs:element name="a" type="xs:string"/>
      <xs:choice><xs:element name="w" type="xs:string"/><xs:sequence><xs:element name="v" type="xs:string"/>
        <xs:element name="w" type="xs:string"/></xs:sequence></xs:choice></xs:sequence></xs:complexType></xs:element>
  </xs:sequence>
  <xs:attribute name="id" type="xs:int" use="required"/>
  <xs:attribute name="q"><xs:simpleType><xs:restriction base="xs:decimal">
    <xs:minInclusive value="0"/><xs:maxExclusive value="10"/></xs:restriction></xs:simpleType></xs:attribute>
  <xs:attribute name="l"><xs:simpleType><xs:list itemType="xs:int"/></xs:simpleType></xs:attribute>
  <xs:attribute ref="w:w"/>
  <xs:anyAttribute namespace="urn:w" processContents="lax"/>
  </xs:complexType></xs:element>
</xs:schema>)"_ba);
    QVERIFY(!place(u"guide-w.xsd"_s, R"(<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema" targetNamespace="urn:w">
  <xs:attribute name="w" type="xs:anyURI"/><xs:attribute name="n" type="xs:nonNegativeInteger"/></xs:schema>)"_ba).isEmpty());
    SchemaGuide guide(schema, {{u"p"_s, u"urn:w"_s}});
    const NodeRule rule = guide.ruleFor(path);
    QCOMPARE(rule.declared, !type.isEmpty());
    QCOMPARE(rule.type, type);
    QCOMPARE(rule.choices, choices);
    QCOMPARE(rule.limits, limits);
    QCOMPARE(rule.required, required);
}

// A problem shows at its own node: an attribute's at the attribute, not at
// its element, and an element's not at its attributes.
void TestValidation::problemsReachTheirNode()
{
    ValidationResult result;
    result.problems = {{1, 1, u"r/k[1]"_s, u"attribute 'id': value 'x' is not a whole number"_s},
                       {1, 1, u"r/k[1]"_s, u"value 'blue' not in enumeration"_s},
                       {1, 1, u"r/k"_s, u"value 'y' not in enumeration"_s}};
    QCOMPARE(ProblemsAt(result, u"r/k[1]/@id"_s), QStringList{u"attribute 'id': value 'x' is not a whole number"_s});
    QCOMPARE(ProblemsAt(result, u"r/k[1]"_s), QStringList{u"value 'blue' not in enumeration"_s});
    QCOMPARE(ProblemsAt(result, u"r/k[1]/@idx"_s), QStringList());
    const QHash<QString, QStringList> byPath = ProblemsByPath(result);
    QCOMPARE(byPath.value(u"r/k[1]/@id"_s).size(), 1);
    QCOMPARE(byPath.value(u"r/k[1]"_s).size(), 1);
    QCOMPARE(byPath.value(u"r/k"_s).size(), 1);
    NodeRule rule;
    rule.declared = true;
    rule.type = u"a positive integer (xs:positiveInteger)"_s;
    rule.choices = {u"1"_s, u"2"_s};
    rule.required = true;
    QCOMPARE(ValueBoxHelp(u"s.xsd"_s, rule, {u"value '0' is too small"_s}),
             u"Allowed by s.xsd: a positive integer (xs:positiveInteger).\nOne of: \"1\", \"2\".\nRequired.\n"
             u"Problem: value '0' is too small"_s);
}

#include "tst_validation.moc"
