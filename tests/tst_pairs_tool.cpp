// The tarnwell-pairs command-line tool.
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Result
{
    int code;
    QByteArray out;
    QByteArray err;
};

Result runTool(const QStringList &args, const QByteArray &input = {})
{
    QProcess p;
    p.start(QStringLiteral(TARNWELL_PAIRS_TOOL), args);
    p.waitForStarted();
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(30000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(), p.readAllStandardError()};
}

QByteArray bytesOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestPairsTool : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void getAndPutRoundTripWithEscapes();
    void nulSeparatedEntries();
    void readAndWrite();
    void configFromDocuments();
    void failuresExitNonZero_data();
    void failuresExitNonZero();
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
    QTest::newRow("missing file") << QStringList{QStringLiteral("get"), QStringLiteral("/nonexistent/x.xml")}
                                  << QByteArray("does not exist");
    QTest::newRow("unknown command") << QStringList{QStringLiteral("frob"), QStringLiteral("x.xml")} << QByteArray("frob");
    QTest::newRow("unknown option") << QStringList{QStringLiteral("get"), QStringLiteral("--what"), QStringLiteral("x.xml")}
                                    << QByteArray("--what");
    QTest::newRow("no file") << QStringList{QStringLiteral("get")} << QByteArray("arguments");
    QTest::newRow("config, refused document") << QStringList{QStringLiteral("config"), good, bad}
                                              << QByteArray("bad.xml\" is not well-formed XML");
    QTest::newRow("config, another root") << QStringList{QStringLiteral("config"), good, other}
                                          << QByteArray("other.xml\": The document's root \"S\" differs");
    QTest::newRow("config, no document") << QStringList{QStringLiteral("config")} << QByteArray("at least one document");
}

void TestPairsTool::failuresExitNonZero()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, message);
    const Result r = runTool(args);
    QVERIFY(r.code != 0);
    QVERIFY2(r.err.contains(message), r.err.constData());
    QVERIFY(r.out.isEmpty());
}

void TestPairsTool::help()
{
    const Result r = runTool({QStringLiteral("--help")});
    QCOMPARE(r.code, 0);
    for (const char *word : {"get", "put", "read", "write", "-z", "--create"})
        QVERIFY2(r.out.contains(word), word);
}

QTEST_GUILESS_MAIN(TestPairsTool)
#include "tst_pairs_tool.moc"
