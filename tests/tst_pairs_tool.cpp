// The tarnwell-pairs command-line tool.
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

struct Result
{
    int code;
    QByteArray out;
    QByteArray err;
};

// outputFile, when given, takes standard output instead of the pipe.
Result runTool(const QStringList &args, const QByteArray &input = {}, const QString &outputFile = {})
{
    QProcess p;
    if (!outputFile.isEmpty())
        p.setStandardOutputFile(outputFile);
    p.start(QStringLiteral(TARNWELL_PAIRS_TOOL), args);
    p.waitForStarted();
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished();
        return {-2, p.readAllStandardOutput(), "tool did not finish within 30 s"};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(), p.readAllStandardError()};
}

QByteArray bytesOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// The arguments with every "FILE" replaced by path.
QStringList withFile(QStringList args, const QString &path)
{
    args.replaceInStrings(QRegularExpression(QStringLiteral("^FILE$")), path);
    return args;
}

const QByteArray kSetDocument = "<?xml version=\"1.0\"?>\n<R a=\"1\">\n  <T>old</T>\n  <B id=\"x\"><N>n1</N></B>\n"
                                "  <B id=\"y\"><N>n2</N></B>\n</R>\n";

} // namespace

class TestPairsTool : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void getAndPutRoundTripWithEscapes();
    void nulSeparatedEntries();
    void strictListsAreRefused_data();
    void namesAndLinesCannotBeForged_data();
    void validateGuardsTheStore_data();
    void validateGuardsTheStore();
    void namesAndLinesCannotBeForged();
    void strictListsAreRefused();
    void readAndWrite();
    void configFromDocuments();
    void failuresExitNonZero_data();
    void failuresExitNonZero();
    void setChangesValuesOnly_data();
    void setChangesValuesOnly();
    void diffShowsTheStore_data();
    void diffShowsTheStore();
    void diffAppliesWithPatch();
    void unwritableOutputFails_data();
    void unwritableOutputFails();
    void closedPipeEndsQuietly();
    void help();

private:
    QTemporaryDir m_dir;
};

void TestPairsTool::getAndPutRoundTripWithEscapes()
{
    const QString path = m_dir.filePath(QStringLiteral("a.xml"));
    const QByteArray list = "DAT,,Doc,\nDAT,,Doc/V,two\\nlines \\\\ back\\r\nDAT,,Doc/W,a,b\n";
    Result r = runTool({QStringLiteral("put"), QStringLiteral("--create"), path}, list);
    QCOMPARE(r.code, 0);
    QCOMPARE(bytesOf(path), QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Doc>\n  <V>two\nlines \\ back&#13;</V>\n"
                                       "  <W>a,b</W>\n</Doc>\n"));
    r = runTool({QStringLiteral("get"), path});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, list);
}

void TestPairsTool::nulSeparatedEntries()
{
    const QString path = m_dir.filePath(QStringLiteral("z.xml"));
    const QByteArray list("DAT,,R,\0DAT,,R/A,x\\y\nz\0", 23);
    QCOMPARE(runTool({QStringLiteral("put"), QStringLiteral("-z"), QStringLiteral("--create"), path}, list).code, 0);
    const Result r = runTool({QStringLiteral("get"), QStringLiteral("-z"), path});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, list);
}

// A list that put cannot read exactly is refused, naming the entry, and the
// file keeps its bytes; so is a document too large to number its entries.
void TestPairsTool::strictListsAreRefused_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("message");
    const QByteArray ab = "<r><a>1</a><b/></r>";
    const QStringList put{QStringLiteral("put"), QStringLiteral("FILE")};
    QTest::newRow("unknown escape") << ab << put << QByteArray("DAT,,r,\nDAT,,r/a,C:\\temp\\new\nDAT,,r/b,\n")
                                    << QByteArray("Entry 2 of the pair list holds \"\\t\", which is not an escape");
    QTest::newRow("backslash at the end") << ab << put << QByteArray("DAT,,r,\nDAT,,r/a,x\\\r\nDAT,,r/b,\n")
                                          << QByteArray("Entry 2 of the pair list holds a backslash at its end");
    QTest::newRow("path given twice") << ab << put << QByteArray("DAT,,r,\nDAT,,r/a,1\nDAT,,r/a,2\nDAT,,r/b,\n")
                                      << QByteArray("gives the path \"r/a\" again");
    QByteArray many = "<r>";
    for (int i = 0; i < 32767; ++i)
        many += "<i/>";
    many += "</r>";
    QTest::newRow("get, more than 32,767 entries") << many << QStringList{QStringLiteral("get"), QStringLiteral("FILE")}
                                                   << QByteArray() << QByteArray("Overflow: more than 32767 entries");
    QTest::newRow("set, more than 32,767 entries") << many << QStringList{QStringLiteral("set"), QStringLiteral("FILE"), QStringLiteral("r/i=1")}
                                                   << QByteArray() << QByteArray("Overflow: more than 32767 entries");
}

void TestPairsTool::strictListsAreRefused()
{
    QFETCH(QByteArray, document);
    QFETCH(QStringList, args);
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, message);
    const QString path = m_dir.filePath(QStringLiteral("strict.xml"));
    QVERIFY(writeFile(path, document));
    const Result r = runTool(withFile(args, path), input);
    QCOMPARE(r.code, 1);
    QVERIFY2(r.err.contains(message), r.err.constData());
    QVERIFY(r.out.isEmpty());
    QCOMPARE(bytesOf(path), document);
}

// A file name that is not UTF-8 never opens the file its decoding names, a
// new document never replaces a file or follows a link, and no name or
// message forges a line of validate's output. The commands run through sh,
// which passes the names' bytes as they are.
void TestPairsTool::namesAndLinesCannotBeForged_data()
{
    QTest::addColumn<QString>("script"); // T is the tool, in the test's folder
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("output"); // all of standard output
    QTest::addColumn<QByteArray>("message"); // in standard error
    QTest::newRow("get, a name not UTF-8") << QStringLiteral("\"$T\" get \"$(printf 'd\\377.xml')\"") << 1 << QByteArray()
                                           << QByteArray("is not valid UTF-8 as given");
    QTest::newRow("set, a name not UTF-8") << QStringLiteral("\"$T\" set \"$(printf 'd\\377.xml')\" r=x") << 1 << QByteArray()
                                           << QByteArray("is not valid UTF-8 as given");
    QTest::newRow("put, a list name not UTF-8")
        << QStringLiteral("\"$T\" put existing.xml \"$(printf '\\377.lst')\"") << 1 << QByteArray() << QByteArray("is not valid UTF-8 as given");
    QTest::newRow("put --create over a file")
        << QStringLiteral("printf 'DAT,,r,\\n' | \"$T\" put --create existing.xml") << 1 << QByteArray()
        << QByteArray("exists already, and a new document is never stored over a file");
    QTest::newRow("write --create through a planted link")
        << QStringLiteral("ln -s existing.xml planted.xml && printf '<r/>' | \"$T\" write --create planted.xml")
        << 1 << QByteArray() << QByteArray("exists already");
    QTest::newRow("validate, a line feed in the name")
        << QStringLiteral("printf '<r/>' > \"$(printf 'a\\nb.xml')\" && \"$T\" validate \"$(printf 'a\\nb.xml')\" --schema s.xsd") << 1
        << QByteArray("a\\nb.xml:1:5: r: no declaration found for element 'r'\n") << QByteArray();
}

void TestPairsTool::namesAndLinesCannotBeForged()
{
    QFETCH(QString, script);
    QFETCH(int, code);
    QFETCH(QByteArray, output);
    QFETCH(QByteArray, message);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray decoy = "<r>decoy</r>";
    // The decoy's name is what the other name decodes to.
    QVERIFY(writeFile(dir.filePath(QStringLiteral("d\uFFFD.xml")), decoy));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("existing.xml")), decoy));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("s.xsd")),
                      "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\"><xs:element name=\"q\"/></xs:schema>"));
    QProcess p;
    p.setWorkingDirectory(dir.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("T"), QStringLiteral(TARNWELL_PAIRS_TOOL));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("sh"), {QStringLiteral("-c"), script});
    QVERIFY(p.waitForFinished(30000));
    const QByteArray err = p.readAllStandardError();
    QCOMPARE(p.exitCode(), code);
    QCOMPARE(p.readAllStandardOutput(), output);
    QVERIFY2(err.contains(message), err.constData());
    QCOMPARE(bytesOf(dir.filePath(QStringLiteral("d\uFFFD.xml"))), decoy);
    QCOMPARE(bytesOf(dir.filePath(QStringLiteral("existing.xml"))), decoy);
}

// --validate checks what the store would write: with problems nothing is
// stored (1), without a schema nothing is stored (2), a valid result is.
void TestPairsTool::validateGuardsTheStore_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("named"); // the document names its schema
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("stored");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("err");
    const QByteArray problem = "doc.xml:5:19: Catalog/Book: attribute 'id': value '1bad' is invalid NCName\n";
    QTest::newRow("set, a problem") << QStringList{u"set"_s, u"--validate"_s, u"FILE"_s, u"Catalog/Book/@id=1bad"_s} << true << 1
                                    << false << problem << QByteArray("was not stored: the result breaks its schema");
    QTest::newRow("set --diff, a problem")
        << QStringList{u"set"_s, u"--validate"_s, u"--diff"_s, u"FILE"_s, u"Catalog/Book/@id=1bad"_s} << true << 1 << false
        << QByteArray("-  <Book id=\"b1\">\n+  <Book id=\"1bad\">\n") << problem;
    QTest::newRow("set, valid") << QStringList{u"set"_s, u"--validate"_s, u"FILE"_s, u"Catalog/Book/@id=b7"_s} << true << 0
                                << true << QByteArray() << QByteArray();
    QTest::newRow("set, no schema named") << QStringList{u"set"_s, u"--validate"_s, u"FILE"_s, u"Catalog/Book/@id=b7"_s} << false
                                          << 2 << false << QByteArray()
                                          << QByteArray("the result cannot be checked against a schema: no schema named");
    QTest::newRow("validate is not a switch of get") << QStringList{u"get"_s, u"--validate"_s, u"FILE"_s} << true << 2 << false
                                                     << QByteArray() << QByteArray("--validate goes with put and set");
}

void TestPairsTool::validateGuardsTheStore()
{
    QFETCH(QStringList, args);
    QFETCH(bool, named);
    QFETCH(int, code);
    QFETCH(bool, stored);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QByteArray doc = bytesOf(QStringLiteral(TARNWELL_EXAMPLES "/doc.xml"));
    if (!named)
        doc.replace(" xsi:noNamespaceSchemaLocation=\"catalog.xsd\"", "");
    const QString path = dir.filePath(u"doc.xml"_s);
    QVERIFY(writeFile(path, doc));
    QVERIFY(QFile::copy(QStringLiteral(TARNWELL_EXAMPLES "/catalog.xsd"), dir.filePath(u"catalog.xsd"_s)));
    QProcess p;
    p.setWorkingDirectory(dir.path());
    p.start(QStringLiteral(TARNWELL_PAIRS_TOOL), withFile(args, u"doc.xml"_s));
    QVERIFY(p.waitForFinished(30000));
    const QByteArray gotOut = p.readAllStandardOutput(), gotErr = p.readAllStandardError();
    QCOMPARE(p.exitCode(), code);
    QVERIFY2(out.isEmpty() ? gotOut.isEmpty() : gotOut.contains(out), gotOut.constData());
    QVERIFY2(gotErr.contains(err), gotErr.constData());
    QCOMPARE(bytesOf(path) != doc, stored);
}

void TestPairsTool::readAndWrite()
{
    const QString path = m_dir.filePath(QStringLiteral("rw.xml"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("<Doc>\r\n  <A>1</A>\r\n</Doc>\r\n");
    f.close();
    const Result r = runTool({QStringLiteral("read"), path});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, QByteArray("<Doc>\n  <A>1</A>\n</Doc>\n"));
    QCOMPARE(runTool({QStringLiteral("write"), path}, r.out).code, 0);
    QCOMPARE(bytesOf(path), QByteArray("<Doc>\r\n  <A>1</A>\r\n</Doc>\r\n"));
    const Result bad = runTool({QStringLiteral("write"), path}, "<Doc>");
    QVERIFY(bad.code != 0);
    QVERIFY(bad.err.contains("not well-formed"));
    QCOMPARE(bytesOf(path), QByteArray("<Doc>\r\n  <A>1</A>\r\n</Doc>\r\n"));
    // Bytes that are not UTF-8 are refused rather than stored as U+FFFD.
    const std::pair<QStringList, QByteArray> notUtf8[] = {
        {{QStringLiteral("write"), path}, QByteArray("<Doc><A>caf\xe9</A></Doc>\n")},
        {{QStringLiteral("put"), path}, QByteArray("DAT,,Doc,\nDAT,,Doc/A,caf\xe9\n")},
        {{QStringLiteral("put"), QStringLiteral("-z"), path}, QByteArray("DAT,,Doc,\0DAT,,Doc/A,caf\xe9\0", 26)},
    };
    for (const auto &[args, input] : notUtf8) {
        const Result refused = runTool(args, input);
        QVERIFY2(refused.code != 0 && refused.err.contains("not valid UTF-8"), refused.err.constData());
        QCOMPARE(bytesOf(path), QByteArray("<Doc>\r\n  <A>1</A>\r\n</Doc>\r\n"));
    }
}

void TestPairsTool::configFromDocuments()
{
    const QString a = m_dir.filePath(QStringLiteral("c1.xml")), b = m_dir.filePath(QStringLiteral("c2.xml"));
    QFile fa(a), fb(b);
    QVERIFY(fa.open(QIODevice::WriteOnly) && fb.open(QIODevice::WriteOnly));
    fa.write("<R><B/><\xc3\x9c x=\"1\">\xc3\xa9</\xc3\x9c></R>");
    fb.write("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<R><A/><B/><B/></R>\r\n");
    fa.close();
    fb.close();
    const Result r = runTool({QStringLiteral("config"), a, b});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, QByteArray("E,R\nES,R/A\nE,R/B\nES,R/\xc3\x9c\nE,R/\xc3\x9c/@x\n"));
    QCOMPARE(runTool({QStringLiteral("config"), a, b}).out, r.out);
}

void TestPairsTool::failuresExitNonZero_data()
{
    const QString good = m_dir.filePath(QStringLiteral("good.xml")), bad = m_dir.filePath(QStringLiteral("bad.xml")),
                  other = m_dir.filePath(QStringLiteral("other.xml"));
    for (const auto &[path, text] : {std::pair{good, "<R><A/></R>"}, {bad, "<R><A></R>"}, {other, "<S/>"}}) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<int>("code");
    QTest::newRow("missing file") << QStringList{QStringLiteral("get"), QStringLiteral("/nonexistent/x.xml")}
                                  << QByteArray("does not exist") << 1;
    QTest::newRow("unknown command") << QStringList{QStringLiteral("frob"), QStringLiteral("x.xml")} << QByteArray("frob") << 1;
    QTest::newRow("unknown option") << QStringList{QStringLiteral("get"), QStringLiteral("--what"), QStringLiteral("x.xml")}
                                    << QByteArray("--what") << 1;
    QTest::newRow("no file") << QStringList{QStringLiteral("get")} << QByteArray("arguments") << 1;
    QTest::newRow("config, refused document") << QStringList{QStringLiteral("config"), good, bad}
                                              << QByteArray("bad.xml\" is not well-formed XML") << 1;
    QTest::newRow("config, another root") << QStringList{QStringLiteral("config"), good, other}
                                          << QByteArray("other.xml\": The document's root \"S\" differs") << 1;
    // A switch that the command does not take is refused, not ignored.
    QTest::newRow("read -z") << QStringList{QStringLiteral("read"), QStringLiteral("-z"), good}
                             << QByteArray("-z goes with get, put and set") << 1;
    QTest::newRow("config --create") << QStringList{QStringLiteral("config"), QStringLiteral("--create"), good}
                                     << QByteArray("--create goes with put and write") << 1;
    // For validate, 1 means problems found: a wrong command line is 2.
    QTest::newRow("validate --diff") << QStringList{QStringLiteral("validate"), QStringLiteral("--diff"), good}
                                     << QByteArray("--diff goes with put and set") << 2;
    // With --diff, 1 means a change: a refused switch must not look like one.
    QTest::newRow("set --diff --create") << QStringList{QStringLiteral("set"), QStringLiteral("--diff"), QStringLiteral("--create"), good, QStringLiteral("a=b")}
                                         << QByteArray("--create goes with put and write") << 2;
    QTest::newRow("config, no document") << QStringList{QStringLiteral("config")} << QByteArray("at least one document") << 1;
}

void TestPairsTool::failuresExitNonZero()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, message);
    QFETCH(int, code);
    const Result r = runTool(args);
    QCOMPARE(r.code, code);
    QVERIFY2(r.err.contains(message), r.err.constData());
    QVERIFY(r.out.isEmpty());
}

// set changes the values at the paths given and no other byte; a path the
// document lacks, or one given twice, changes nothing.
void TestPairsTool::setChangesValuesOnly_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("expected"); // the file afterwards
    QTest::addColumn<QByteArray>("message");
    const QByteArray doc = kSetDocument;
    QTest::newRow("element and attribute, \"=\" in a value")
        << QStringList{u"set"_s, u"FILE"_s, u"R/T=a=b"_s, u"R/B[1]/@id=z"_s} << QByteArray() << 0
        << QByteArray(doc).replace(">old<", ">a=b<").replace("\"y\"", "\"z\"") << QByteArray();
    QTest::newRow("-z, a line feed in a value")
        << QStringList{u"set"_s, u"-z"_s, u"FILE"_s} << QByteArray("R/B/N=two\nlines\0R/@a=2\0", 23) << 0
        << QByteArray(doc).replace(">n1<", ">two\nlines<").replace("a=\"1\"", "a=\"2\"") << QByteArray();
    QTest::newRow("unknown path, nearest named")
        << QStringList{u"set"_s, u"FILE"_s, u"R/T=new"_s, u"R/B[1]/Nx=1"_s} << QByteArray() << 1 << doc
        << QByteArray("\"FILE\" was not changed: it has no \"R/B[1]/Nx\" (nearest: \"R/B[1]/N\", \"R/B[1]\", "
                      "\"R/B[1]/@id\", \"R/B/N\", \"R/B\").");
    QTest::newRow("index 0 written out")
        << QStringList{u"set"_s, u"FILE"_s, u"R/B[0]/N=m"_s, u"R/B[01]/@id=z"_s} << QByteArray() << 0
        << QByteArray(doc).replace(">n1<", ">m<").replace("\"y\"", "\"z\"") << QByteArray();
    QTest::newRow("one path written two ways")
        << QStringList{u"set"_s, u"FILE"_s, u"R/B/N=1"_s, u"R/B[0]/N=2"_s} << QByteArray() << 1 << doc
        << QByteArray("\"R/B/N\" is given twice");
    QTest::newRow("path given twice") << QStringList{u"set"_s, u"FILE"_s, u"R/T=1"_s, u"R/T=2"_s} << QByteArray() << 1 << doc
                                      << QByteArray("\"R/T\" is given twice");
    QTest::newRow("no PATH=VALUE") << QStringList{u"set"_s, u"FILE"_s, u"=1"_s} << QByteArray() << 1 << doc
                                   << QByteArray("\"=1\" is not PATH=VALUE");
    QTest::newRow("blanks around a value among elements")
        << QStringList{u"set"_s, u"FILE"_s, u"R/B= x"_s} << QByteArray() << 1 << doc
        << QByteArray("The element \"R/B\" holds elements, so its value cannot begin or end with blanks");
    QTest::newRow("-z with arguments") << QStringList{u"set"_s, u"-z"_s, u"FILE"_s, u"R/T=1"_s} << QByteArray() << 1 << doc
                                       << QByteArray("set reads its PATH=VALUE entries from standard input");
    QTest::newRow("-z, not UTF-8") << QStringList{u"set"_s, u"-z"_s, u"FILE"_s} << QByteArray("R/T=\xff\0", 6) << 1 << doc
                                   << QByteArray("Entry 1 of standard input is not valid UTF-8");
}

void TestPairsTool::setChangesValuesOnly()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, input);
    QFETCH(int, code);
    QFETCH(QByteArray, expected);
    QFETCH(QByteArray, message);
    const QString path = m_dir.filePath(QStringLiteral("set.xml"));
    QVERIFY(writeFile(path, kSetDocument));
    const Result r = runTool(withFile(args, path), input);
    QVERIFY2(r.err.contains(message.replace("FILE", path.toUtf8())), r.err.constData());
    QCOMPARE(r.code, code);
    QCOMPARE(bytesOf(path), expected);
}

// --diff prints what the store would change, as diff -u prints it, and
// writes nothing: 0 no change, 1 a change, 2 a failure.
void TestPairsTool::diffShowsTheStore_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("err");
    const QByteArray header = "--- FILE\n+++ FILE\n";
    QTest::newRow("set, one value") << kSetDocument << QStringList{u"set"_s, u"--diff"_s, u"FILE"_s, u"R/B/N=new"_s}
                                    << QByteArray() << 1
                                    << header + "@@ -1,6 +1,6 @@\n <?xml version=\"1.0\"?>\n <R a=\"1\">\n   <T>old</T>\n"
                                                "-  <B id=\"x\"><N>n1</N></B>\n+  <B id=\"x\"><N>new</N></B>\n"
                                                "   <B id=\"y\"><N>n2</N></B>\n </R>\n"
                                    << QByteArray();
    QTest::newRow("set, no change") << kSetDocument << QStringList{u"set"_s, u"--diff"_s, u"FILE"_s, u"R/T=old"_s}
                                    << QByteArray() << 0 << QByteArray() << QByteArray();
    QTest::newRow("put, an entry left out is deleted")
        << kSetDocument << QStringList{u"put"_s, u"--diff"_s, u"FILE"_s}
        << QByteArray("DAT,,R,\nDAT,,R/@a,1\nDAT,,R/T,old\nDAT,,R/B,\nDAT,,R/B/@id,x\nDAT,,R/B/N,n1\n") << 1
        << header + "@@ -2,5 +2,4 @@\n <R a=\"1\">\n   <T>old</T>\n   <B id=\"x\"><N>n1</N></B>\n"
                    "-  <B id=\"y\"><N>n2</N></B>\n </R>\n"
        << QByteArray();
    // Changes more than six lines apart get a hunk each, closer ones share
    // one; a last line without a line feed is marked.
    QByteArray far = "<L>\n";
    for (int i = 0; i < 9; ++i)
        far += "  <i>" + QByteArray::number(i) + "</i>\n";
    far += "</L>";
    QTest::newRow("two hunks, no line feed at the end")
        << far << QStringList{u"set"_s, u"--diff"_s, u"FILE"_s, u"L/i=a"_s, u"L/i[8]=b"_s} << QByteArray() << 1
        << header + "@@ -1,5 +1,5 @@\n <L>\n-  <i>0</i>\n+  <i>a</i>\n   <i>1</i>\n   <i>2</i>\n   <i>3</i>\n"
                    "@@ -7,5 +7,5 @@\n   <i>5</i>\n   <i>6</i>\n   <i>7</i>\n-  <i>8</i>\n+  <i>b</i>\n </L>\n"
                    "\\ No newline at end of file\n"
        << QByteArray();
    QTest::newRow("changes six lines apart, one hunk")
        << far << QStringList{u"set"_s, u"--diff"_s, u"FILE"_s, u"L/i[1]=a"_s, u"L/i[8]=b"_s} << QByteArray() << 1
        << header + "@@ -1,11 +1,11 @@\n <L>\n   <i>0</i>\n-  <i>1</i>\n+  <i>a</i>\n   <i>2</i>\n   <i>3</i>\n"
                    "   <i>4</i>\n   <i>5</i>\n   <i>6</i>\n   <i>7</i>\n-  <i>8</i>\n+  <i>b</i>\n </L>\n"
                    "\\ No newline at end of file\n"
        << QByteArray();
    QTest::newRow("refused store") << QByteArray("<p>Hello <b>world</b> and bye</p>\n")
                                   << QStringList{u"set"_s, u"--diff"_s, u"FILE"_s, u"p=Hi"_s} << QByteArray() << 2
                                   << QByteArray() << QByteArray("has text between its child elements");
    QTest::newRow("unknown path") << kSetDocument << QStringList{u"set"_s, u"--diff"_s, u"FILE"_s, u"R/X=1"_s}
                                  << QByteArray() << 2 << QByteArray() << QByteArray("has no \"R/X\"");
}

void TestPairsTool::diffShowsTheStore()
{
    QFETCH(QByteArray, document);
    QFETCH(QStringList, args);
    QFETCH(QByteArray, input);
    QFETCH(int, code);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    const QString path = m_dir.filePath(QStringLiteral("diff.xml"));
    QVERIFY(writeFile(path, document));
    const Result r = runTool(withFile(args, path), input);
    QVERIFY2(r.err.contains(err), r.err.constData());
    QCOMPARE(r.code, code);
    QCOMPARE(r.out, out.replace("FILE", path.toUtf8()));
    QCOMPARE(bytesOf(path), document);
}

// What --diff prints, applied by patch, gives the bytes the store writes: CR
// LF line ends and a legacy encoding included.
void TestPairsTool::diffAppliesWithPatch()
{
    if (QStandardPaths::findExecutable(QStringLiteral("patch")).isEmpty())
        QSKIP("patch is not installed");
    const QString stored = m_dir.filePath(QStringLiteral("stored.xml")), patched = m_dir.filePath(QStringLiteral("patched.xml"));
    QFile::remove(stored);
    QFile::remove(patched);
    QVERIFY(QFile::copy(QStringLiteral(TARNWELL_EXAMPLES "/shift_jis.xml"), stored));
    QVERIFY(QFile::copy(QStringLiteral(TARNWELL_EXAMPLES "/shift_jis.xml"), patched));
    QFile::setPermissions(stored, QFile::ReadOwner | QFile::WriteOwner);
    QFile::setPermissions(patched, QFile::ReadOwner | QFile::WriteOwner);
    const QStringList sets{u"Catalog/Title=目録"_s, u"Catalog/Book/Author=森鷗外"_s};
    const Result diff = runTool(QStringList{u"set"_s, u"--diff"_s, patched} + sets);
    QCOMPARE(diff.code, 1);
    QVERIFY(diff.out.contains("\r\n"));
    QCOMPARE(runTool(QStringList{u"set"_s, stored} + sets).code, 0);
    QProcess patch;
    patch.start(QStringLiteral("patch"), {u"--binary"_s, u"-s"_s, patched});
    patch.write(diff.out);
    patch.closeWriteChannel();
    QVERIFY(patch.waitForFinished(30000));
    QCOMPARE(patch.exitCode(), 0);
    QCOMPARE(bytesOf(patched), bytesOf(stored));
}

// A standard output that cannot be written (a full disk) is a failure, named
// on standard error.
void TestPairsTool::unwritableOutputFails_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::newRow("get") << QStringList{u"get"_s, u"FILE"_s} << 1;
    QTest::newRow("get -z") << QStringList{u"get"_s, u"-z"_s, u"FILE"_s} << 1;
    QTest::newRow("read") << QStringList{u"read"_s, u"FILE"_s} << 1;
    QTest::newRow("config") << QStringList{u"config"_s, u"FILE"_s} << 1;
    QTest::newRow("validate") << QStringList{u"validate"_s, u"FILE"_s, u"--schema"_s, u"FILE.xsd"_s} << 2;
    QTest::newRow("set --diff") << QStringList{u"set"_s, u"--diff"_s, u"FILE"_s, u"R/T=new"_s} << 2;
    QTest::newRow("--help") << QStringList{u"--help"_s} << 1;
}

void TestPairsTool::unwritableOutputFails()
{
    QFETCH(QStringList, args);
    QFETCH(int, code);
    if (!QFileInfo::exists(QStringLiteral("/dev/full")))
        QSKIP("no /dev/full here");
    const QString path = m_dir.filePath(QStringLiteral("full.xml"));
    QVERIFY(writeFile(path, kSetDocument));
    // A schema the document breaks, so that validate has problems to print.
    QVERIFY(writeFile(path + QStringLiteral(".xsd"),
                      "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\"><xs:element name=\"Other\"/></xs:schema>"));
    args.replaceInStrings(QStringLiteral("FILE"), path);
    const Result r = runTool(args, {}, QStringLiteral("/dev/full"));
    QCOMPARE(r.code, code);
    QVERIFY2(r.err.contains("tarnwell-pairs: Standard output could not be written: No space left on device."), r.err.constData());
    QCOMPARE(bytesOf(path), kSetDocument);
}

// A reader that stops early ends the program without a word.
void TestPairsTool::closedPipeEndsQuietly()
{
    const QString path = m_dir.filePath(QStringLiteral("long.xml"));
    QByteArray doc = "<r>";
    for (int i = 0; i < 20000; ++i)
        doc += "<i>" + QByteArray::number(i) + "</i>";
    QVERIFY(writeFile(path, doc + "</r>"));
    QProcess p;
    p.start(QStringLiteral("sh"), {u"-c"_s, u"\"$0\" get \"$1\" | head -1"_s, QStringLiteral(TARNWELL_PAIRS_TOOL), path});
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.readAllStandardError(), QByteArray());
    QCOMPARE(p.readAllStandardOutput(), QByteArray("DAT,,r,\n"));
}

void TestPairsTool::help()
{
    const Result r = runTool({QStringLiteral("--help")});
    QCOMPARE(r.code, 0);
    for (const char *word : {"get", "set", "put", "read", "write", "-z", "--create", "--diff", "are deleted"})
        QVERIFY2(r.out.contains(word), word);
    const Result version = runTool({QStringLiteral("--version")});
    QCOMPARE(version.code, 0);
    QCOMPARE(version.out, QByteArray("tarnwell-pairs " TARNWELL_VERSION "\n"));
}

QTEST_GUILESS_MAIN(TestPairsTool)
#include "tst_pairs_tool.moc"
