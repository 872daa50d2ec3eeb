// Path syntax, entry format and the paths of tree nodes.
#include "Error.h"
#include "NodePath.h"
#include "PairEntry.h"
#include "PathSyntax.h"
#include "TreeNode.h"

#include <QTest>

using namespace tarnwell;

class TestNodePath : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void stripIndex_data();
    void stripIndex();
    void segmentIndex_data();
    void segmentIndex();
    void segmentIndexFailures_data();
    void segmentIndexFailures();
    void namespaceForPath_data();
    void namespaceForPath();
    void pairEntry_data();
    void pairEntry();
    void formatPairEntryRoundTrips();
    void nodePaths();
    void renumberAfterRemoval();
    void lookupsByNameMatchAWalk_data();
    void lookupsByNameMatchAWalk();
    void secondTopLevelNodeIsIndexed();
};

void TestNodePath::stripIndex_data()
{
    QTest::addColumn<QString>("segment");
    QTest::addColumn<QString>("expected");
    QTest::newRow("indexed") << "Item[2]" << "Item";
    QTest::newRow("plain") << "Item" << "Item";
    QTest::newRow("only index") << "[3]" << "";
    QTest::newRow("attribute") << "@id" << "@id";
    QTest::newRow("first bracket") << "a[1][2]" << "a";
    QTest::newRow("empty") << "" << "";
}

void TestNodePath::stripIndex()
{
    QFETCH(QString, segment);
    QFETCH(QString, expected);
    QCOMPARE(StripIndex(segment), expected);
}

void TestNodePath::segmentIndex_data()
{
    QTest::addColumn<QString>("segment");
    QTest::addColumn<int>("expected");
    QTest::newRow("no bracket") << "Item" << 0;
    QTest::newRow("one") << "Item[1]" << 1;
    QTest::newRow("twelve") << "Item[12]" << 12;
    QTest::newRow("zero written") << "Item[0]" << 0;
    QTest::newRow("leading zero") << "Item[07]" << 7;
    QTest::newRow("limit") << "Item[32767]" << 32767;
    // The last character is taken to be the closing bracket, whatever it is.
    QTest::newRow("other closing char") << "Item[45x" << 45;
    QTest::newRow("empty segment") << "" << 0;
}

void TestNodePath::segmentIndex()
{
    QFETCH(QString, segment);
    QFETCH(int, expected);
    QCOMPARE(SegmentIndex(segment), expected);
}

void TestNodePath::segmentIndexFailures_data()
{
    QTest::addColumn<QString>("segment");
    QTest::addColumn<int>("kind");
    QTest::newRow("letters") << "Item[x]" << int(Error::Kind::TypeMismatch);
    QTest::newRow("empty index") << "Item[]" << int(Error::Kind::TypeMismatch);
    QTest::newRow("sign") << "Item[-1]" << int(Error::Kind::TypeMismatch);
    QTest::newRow("blank") << "Item[ 1]" << int(Error::Kind::TypeMismatch);
    QTest::newRow("above limit") << "Item[32768]" << int(Error::Kind::Overflow);
    QTest::newRow("huge") << "Item[99999999999999999999]" << int(Error::Kind::Overflow);
    QTest::newRow("ends in bracket") << "Item[" << int(Error::Kind::InvalidArgument);
}

void TestNodePath::segmentIndexFailures()
{
    QFETCH(QString, segment);
    QFETCH(int, kind);
    try {
        SegmentIndex(segment);
        QFAIL("no failure raised");
    } catch (const Error &e) {
        QCOMPARE(int(e.kind()), kind);
        // The description names the segment, so the user can find the entry.
        QVERIFY2(e.description().contains(segment), qPrintable(e.description()));
    }
}

void TestNodePath::namespaceForPath_data()
{
    const QString xsi = QStringLiteral("http://www.w3.org/2001/XMLSchema-instance");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    QTest::newRow("root attribute") << "Doc/@noNamespaceSchemaLocation" << xsi;
    QTest::newRow("single segment") << "@noNamespaceSchemaLocation" << xsi;
    QTest::newRow("deep") << "Doc/A[2]/@noNamespaceSchemaLocation" << xsi;
    QTest::newRow("other case") << "Doc/@NoNamespaceSchemaLocation" << "";
    QTest::newRow("other xsi attribute") << "Doc/@schemaLocation" << "";
    QTest::newRow("not last") << "Doc/@noNamespaceSchemaLocation/x" << "";
    QTest::newRow("element") << "Doc/Item" << "";
}

void TestNodePath::namespaceForPath()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QCOMPARE(NamespaceForPath(path), expected);
}

void TestNodePath::pairEntry_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("value");
    QTest::newRow("plain") << "DAT,,Doc/Title,Annual report" << true << "Doc/Title" << "Annual report";
    QTest::newRow("empty value") << "DAT,,Doc/A," << true << "Doc/A" << "";
    QTest::newRow("comma in value") << "DAT,,Doc/Note,a,b" << true << "Doc/Note" << "a,b";
    QTest::newRow("only commas in value") << "DAT,,Doc/Note,,," << true << "Doc/Note" << ",,";
    QTest::newRow("namespace field") << "DAT,urn:x,Doc/@a,1" << true << "Doc/@a" << "1";
    QTest::newRow("three fields") << "DAT,,Doc" << false << "" << "";
    QTest::newRow("lower-case marker") << "dat,,Doc/Note,x" << false << "" << "";
    QTest::newRow("other marker") << "HDR,,Doc,x" << false << "" << "";
    QTest::newRow("marker with blank") << "DAT ,,Doc,x" << false << "" << "";
    QTest::newRow("empty") << "" << false << "" << "";
}

void TestNodePath::pairEntry()
{
    QFETCH(QString, entry);
    QFETCH(bool, accepted);
    const auto parsed = ParsePairEntry(entry);
    QCOMPARE(parsed.has_value(), accepted);
    if (accepted) {
        QFETCH(QString, path);
        QFETCH(QString, value);
        QCOMPARE(parsed->path, path);
        QCOMPARE(parsed->value, value);
    }
}

void TestNodePath::formatPairEntryRoundTrips()
{
    const QString value = QStringLiteral("a, b,\n日本語 😀 ,");
    const QString entry = FormatPairEntry(u"", u"Doc/Item[1]", value);
    QCOMPARE(entry, QStringLiteral("DAT,,Doc/Item[1],") + value);
    const auto parsed = ParsePairEntry(entry);
    QVERIFY(parsed);
    QCOMPARE(parsed->value, value);
}

// Doc with Head, Item, Item, @noNamespaceSchemaLocation; the second Item has @id.
void TestNodePath::nodePaths()
{
    TreeNode top;
    TreeNode *doc = top.insertChild(0, std::make_unique<TreeNode>(QStringLiteral("Doc")));
    TreeNode *head = doc->insertChild(0, std::make_unique<TreeNode>(QStringLiteral("Head")));
    TreeNode *item0 = doc->insertChild(1, std::make_unique<TreeNode>(QStringLiteral("Item")));
    TreeNode *item1 = doc->insertChild(2, std::make_unique<TreeNode>(QStringLiteral("Item")));
    TreeNode *xsi = doc->insertChild(3, std::make_unique<TreeNode>(QStringLiteral("@noNamespaceSchemaLocation")));
    TreeNode *id = item1->insertChild(0, std::make_unique<TreeNode>(QStringLiteral("@id")));

    QCOMPARE(IndexedNodeName(*doc), QStringLiteral("Doc"));
    QCOMPARE(IndexedNodePath(*doc), QStringLiteral("Doc"));
    QCOMPARE(NodeNamePath(*doc), QStringLiteral("Doc"));
    QCOMPARE(IndexedNodeName(*head), QStringLiteral("Head"));
    QCOMPARE(IndexedNodeName(*item0), QStringLiteral("Item"));
    QCOMPARE(IndexedNodeName(*item1), QStringLiteral("Item[1]"));
    QCOMPARE(IndexedNodePath(*id), QStringLiteral("Doc/Item[1]/@id"));
    QCOMPARE(NodeNamePath(*id), QStringLiteral("Doc/Item/@id"));
    QCOMPARE(NamespaceForPath(IndexedNodePath(*id)), QString());
    QCOMPARE(NamespaceForPath(IndexedNodePath(*xsi)), QStringLiteral("http://www.w3.org/2001/XMLSchema-instance"));

    // A same-named node inserted in front shifts the indexes of the others.
    TreeNode *front = doc->insertChild(0, std::make_unique<TreeNode>(QStringLiteral("Item")));
    QCOMPARE(IndexedNodeName(*front), QStringLiteral("Item"));
    QCOMPARE(IndexedNodeName(*item0), QStringLiteral("Item[1]"));
    QCOMPARE(IndexedNodePath(*id), QStringLiteral("Doc/Item[2]/@id"));
    QCOMPARE(IndexedNodeName(*head), QStringLiteral("Head"));
}

// Few children are walked, many are looked up in a table by name: both
// must give what a walk over the children gives, while children come and go
// across the size where the table starts.
void TestNodePath::lookupsByNameMatchAWalk_data()
{
    // Steps in turn: n > 0 inserts n children, n < 0 removes -n.
    QTest::addColumn<QList<int>>("steps");
    QTest::newRow("stays small") << QList<int>{7, -2, 3};
    QTest::newRow("grows past the table size") << QList<int>{10, 12};
    QTest::newRow("shrinks below it, then grows") << QList<int>{20, -18, 6, -3, 9};
    QTest::newRow("large") << QList<int>{45, -30, 2};
    QTest::newRow("emptied, then refilled") << QList<int>{20, -20, 5};
}

void TestNodePath::lookupsByNameMatchAWalk()
{
    QFETCH(QList<int>, steps);
    const QStringList names{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("@c")};
    TreeNode top;
    TreeNode *doc = top.insertChild(0, std::make_unique<TreeNode>(QStringLiteral("Doc")));
    int made = 0, expected = 0;
    for (int step : steps) {
        // At the front, the middle and the end in turn.
        for (int i = 0; i < step; ++i, ++made) {
            const int rows[] = {0, doc->childCount() / 2, doc->childCount()};
            doc->insertChild(rows[i % 3], std::make_unique<TreeNode>(names[(made * 7 + made / 3) % 3]));
        }
        for (int i = 0; i < -step; ++i) {
            const int rows[] = {0, doc->childCount() / 2, doc->childCount() - 1};
            doc->takeChild(rows[i % 3]);
        }
        expected += step;
    }
    QCOMPARE(doc->childCount(), expected);
    for (const QString &name : names) {
        QList<TreeNode *> walked;
        for (int row = 0; row < doc->childCount(); ++row) {
            if (doc->child(row)->text() == name)
                walked.append(doc->child(row));
        }
        QCOMPARE(doc->countNamed(name), walked.size());
        for (int n = 0; n < walked.size(); ++n) {
            QCOMPARE(doc->childNamed(name, n), walked[n]);
            QCOMPARE(walked[n]->sameNameIndex(), n);
        }
        QCOMPARE(doc->childNamed(name, static_cast<int>(walked.size())), nullptr);
        QCOMPARE(doc->childNamed(name, -1), nullptr);
    }
}

void TestNodePath::renumberAfterRemoval()
{
    TreeNode top;
    TreeNode *doc = top.insertChild(0, std::make_unique<TreeNode>(QStringLiteral("Doc")));
    for (int i = 0; i < 3; ++i)
        doc->insertChild(i, std::make_unique<TreeNode>(QStringLiteral("x")));
    QCOMPARE(IndexedNodeName(*doc->child(2)), QStringLiteral("x[2]"));
    doc->takeChild(0);
    QCOMPARE(IndexedNodeName(*doc->child(0)), QStringLiteral("x"));
    QCOMPARE(IndexedNodeName(*doc->child(1)), QStringLiteral("x[1]"));
    QCOMPARE(doc->childNamed(QStringLiteral("x"), 1), doc->child(1));
    QCOMPARE(doc->childNamed(QStringLiteral("x"), 2), nullptr);
}

void TestNodePath::secondTopLevelNodeIsIndexed()
{
    TreeNode top;
    top.insertChild(0, std::make_unique<TreeNode>(QStringLiteral("Doc")));
    TreeNode *second = top.insertChild(1, std::make_unique<TreeNode>(QStringLiteral("Doc")));
    QCOMPARE(IndexedNodePath(*second), QStringLiteral("Doc[1]"));
    QVERIFY(second->isTopLevel());
    QCOMPARE(second->topLevelAncestor(), second);
}

QTEST_APPLESS_MAIN(TestNodePath)
#include "tst_nodepath.moc"
