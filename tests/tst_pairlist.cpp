// Loading a pair list into a tree and building one from it.
#include "Error.h"
#include "NodePath.h"
#include "PairList.h"

#include <QRandomGenerator>
#include <QTest>

using namespace tarnwell;

namespace {

// The tree as one line per node: indent, text, "=" value, colour letter
// (b blue, k black) and "+" when expanded.
QStringList dump(const TreeNode &top)
{
    QStringList lines;
    std::function<void(const TreeNode &, int)> walk = [&](const TreeNode &node, int depth) {
        lines.append(QString(depth * 2, u' ') + node.text() + QLatin1Char('=') + node.tag() +
                     (node.foreColor() == TreeNode::kBlue ? QStringLiteral(" b") : QStringLiteral(" k")) +
                     (node.isExpanded() ? QStringLiteral("+") : QString()));
        for (int i = 0; i < node.childCount(); ++i)
            walk(*node.child(i), depth + 1);
    };
    for (int i = 0; i < top.childCount(); ++i)
        walk(*top.child(i), 0);
    return lines;
}

QStringList entries(std::initializer_list<const char *> list)
{
    QStringList out;
    for (const char *e : list)
        out.append(QString::fromUtf8(e));
    return out;
}

const NameLists &orderLists()
{
    static const NameLists lists(entries({"Doc/Head", "Doc/Item", "Doc/Item/@id", "Doc/Tail"}), {}, {});
    return lists;
}

} // namespace

class TestPairList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void load_data();
    void load();
    void loadFailures_data();
    void loadFailures();
    void tooManyEntries();
    void orderedInsertion_data();
    void orderedInsertion();
    void newNodeGoesAfterLastSameName();
    void build();
    void buildEmptyTree();
    void buildOnlyFirstTopLevel();
    void buildTooManyNodes();
    void roundTripRandomTrees();
    void fromVariant();
};

void TestPairList::load_data()
{
    QTest::addColumn<QStringList>("pairs");
    QTest::addColumn<QStringList>("tree");

    QTest::newRow("empty list") << QStringList() << QStringList();
    QTest::newRow("root only") << entries({"DAT,,Doc,x"}) << entries({"Doc=x b"});
    QTest::newRow("first segment not compared")
        << entries({"DAT,,Doc,x", "DAT,,Other/A,y"}) << entries({"Doc=x b+", "  A=y b"});
    QTest::newRow("way nodes made once")
        << entries({"DAT,,Doc/A/B,1", "DAT,,Doc/A/C,2"}) << entries({"Doc= b+", "  A= b+", "    B=1 b", "    C=2 b"});
    QTest::newRow("second value wins") << entries({"DAT,,Doc,1", "DAT,,Doc,2"}) << entries({"Doc=2 b"});
    QTest::newRow("indexed siblings")
        << entries({"DAT,,Doc,", "DAT,,Doc/Item,1", "DAT,,Doc/Item[1],2", "DAT,,Doc/Item[2],3"})
        << entries({"Doc= b+", "  Item=1 k", "  Item=2 k", "  Item=3 k"});
    QTest::newRow("gap in indexes makes the next one")
        << entries({"DAT,,Doc/Item,1", "DAT,,Doc/Item[3],2"}) << entries({"Doc= b+", "  Item=1 k", "  Item=2 k"});
    QTest::newRow("comma in value kept")
        << entries({"DAT,,Doc/Note,a,b"}) << entries({"Doc= b+", "  Note=a,b b"});
    QTest::newRow("skipped entries")
        << entries({"dat,,Doc/Note,x", "DAT,,Doc", "", "XYZ,,Doc/A,1", "DAT,,Doc/B,2"})
        << entries({"Doc= b+", "  B=2 b"});
    QTest::newRow("ordered by list E")
        << entries({"DAT,,Doc/Tail,t", "DAT,,Doc/Item,i", "DAT,,Doc/Head,h"})
        << entries({"Doc= b+", "  Head=h k", "  Item=i k", "  Tail=t k"});
    QTest::newRow("attribute placed by its name")
        << entries({"DAT,,Doc/Item,", "DAT,,Doc/Item/@id,7", "DAT,,Doc/Item/Z,", "DAT,,Doc/Item/@id,8"})
        << entries({"Doc= b+", "  Item= k+", "    @id=8 k", "    Z= b"});
    QTest::newRow("unicode and blanks")
        << entries({"DAT,,文書/項目, 値 😀 "}) << entries({"文書= b+", "  項目= 値 😀  b"});
    QTest::newRow("empty segments stay names")
        << entries({"DAT,,Doc//x,1"}) << entries({"Doc= b+", "  = b+", "    x=1 b"});
}

void TestPairList::load()
{
    QFETCH(QStringList, pairs);
    QFETCH(QStringList, tree);
    const auto top = LoadPairList(pairs, orderLists());
    QCOMPARE(dump(*top), tree);
}

void TestPairList::loadFailures_data()
{
    QTest::addColumn<QStringList>("pairs");
    QTest::addColumn<QString>("named");
    QTest::newRow("non-numeric index") << entries({"DAT,,Doc,", "DAT,,Doc/Item[x],1"}) << "Item[x]";
    QTest::newRow("index above limit") << entries({"DAT,,Doc/Item[40000],1"}) << "Item[40000]";
    QTest::newRow("segment ends in bracket") << entries({"DAT,,Doc/Item[,1"}) << "Item[";
    QTest::newRow("empty path") << entries({"DAT,,Doc,", "DAT,,,value"}) << "Entry 2";
}

void TestPairList::loadFailures()
{
    QFETCH(QStringList, pairs);
    QFETCH(QString, named);
    try {
        LoadPairList(pairs, orderLists());
        QFAIL("no failure raised");
    } catch (const Error &e) {
        QVERIFY2(e.description().contains(named), qPrintable(e.description()));
    }
}

void TestPairList::tooManyEntries()
{
    QStringList pairs;
    pairs.append(QStringLiteral("DAT,,Doc,"));
    for (int i = 1; i < kMaxCount; ++i)
        pairs.append(QStringLiteral("DAT,,Doc/Item[%1],v").arg(i));
    QCOMPARE(LoadPairList(pairs, orderLists())->firstChild()->childCount(), kMaxCount - 1);
    pairs.append(QStringLiteral("DAT,,Doc/Extra,v"));
    try {
        LoadPairList(pairs, orderLists());
        QFAIL("no failure raised");
    } catch (const Error &e) {
        QCOMPARE(e.kind(), Error::Kind::Overflow);
    }
}

// Children present under Doc, then one name added: where does it go?
void TestPairList::orderedInsertion_data()
{
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QString>("added");
    QTest::addColumn<int>("row");
    QTest::newRow("no children") << QStringList() << "Tail" << 0;
    QTest::newRow("undeclared appends") << entries({"Head", "Tail"}) << "Zed" << 2;
    QTest::newRow("before all later names") << entries({"Item", "Tail"}) << "Head" << 0;
    QTest::newRow("between") << entries({"Head", "Tail"}) << "Item" << 1;
    QTest::newRow("after same name") << entries({"Head", "Item", "Item", "Tail"}) << "Item" << 3;
    QTest::newRow("ahead of trailing undeclared") << entries({"Head", "Zed"}) << "Tail" << 1;
    QTest::newRow("undeclared passed over") << entries({"Zed", "Head", "Zed"}) << "Item" << 2;
    QTest::newRow("only undeclared") << entries({"Zed"}) << "Head" << 0;
}

void TestPairList::orderedInsertion()
{
    QFETCH(QStringList, present);
    QFETCH(QString, added);
    QFETCH(int, row);
    TreeNode top;
    TreeNode *doc = top.insertChild(0, std::make_unique<TreeNode>(QStringLiteral("Doc")));
    for (const QString &name : present)
        doc->insertChild(doc->childCount(), std::make_unique<TreeNode>(name));
    TreeNode *node = AddTreeNode(*doc, added, orderLists());
    QCOMPARE(node->row(), row);
    QCOMPARE(node->parent(), doc);
    QCOMPARE(node->tag(), QString());
    QVERIFY(doc->isExpanded());
    QCOMPARE(node->foreColor(), orderLists().isListedInE(QStringLiteral("Doc/") + added) ? TreeNode::kBlack
                                                                                          : TreeNode::kBlue);
}

void TestPairList::newNodeGoesAfterLastSameName()
{
    auto top = LoadPairList(entries({"DAT,,Doc/Head,", "DAT,,Doc/Item,1", "DAT,,Doc/Item[1],2", "DAT,,Doc/Tail,"}),
                            orderLists());
    TreeNode *added = AddTreeNode(*top->firstChild(), QStringLiteral("Item"), orderLists());
    QCOMPARE(IndexedNodePath(*added), QStringLiteral("Doc/Item[2]"));
    QCOMPARE(added->row(), 3);
}

void TestPairList::build()
{
    const QStringList pairs = entries({"DAT,,Doc,", "DAT,,Doc/Head,h", "DAT,,Doc/Item,a,b", "DAT,,Doc/Item/@id,1",
                                       "DAT,,Doc/Item[1],", "DAT,,Doc/Item[1]/@id,2",
                                       "DAT,http://www.w3.org/2001/XMLSchema-instance,Doc/@noNamespaceSchemaLocation,s.xsd"});
    const auto top = LoadPairList(pairs, orderLists());
    QCOMPARE(BuildPairList(*top), pairs);
}

void TestPairList::buildEmptyTree()
{
    TreeNode top;
    QCOMPARE(BuildPairList(top), QStringList{QString()});
}

void TestPairList::buildOnlyFirstTopLevel()
{
    TreeNode top;
    TreeNode *doc = top.insertChild(0, std::make_unique<TreeNode>(QStringLiteral("Doc")));
    doc->insertChild(0, std::make_unique<TreeNode>(QStringLiteral("A")))->setTag(QStringLiteral("1"));
    top.insertChild(1, std::make_unique<TreeNode>(QStringLiteral("Other")));
    QCOMPARE(BuildPairList(top), entries({"DAT,,Doc,", "DAT,,Doc/A,1"}));
}

void TestPairList::buildTooManyNodes()
{
    TreeNode top;
    TreeNode *doc = top.insertChild(0, std::make_unique<TreeNode>(QStringLiteral("Doc")));
    for (int i = 0; i < kMaxCount - 1; ++i)
        doc->insertChild(doc->childCount(), std::make_unique<TreeNode>(QStringLiteral("I")));
    QCOMPARE(BuildPairList(top).size(), kMaxCount);
    doc->insertChild(0, std::make_unique<TreeNode>(QStringLiteral("One too many")));
    QVERIFY_THROWS_EXCEPTION(Error, BuildPairList(top));
}

// A tree grown with the ordering rules, written as a pair list and loaded
// back, is the same tree: names, values, colours and expansion.
void TestPairList::roundTripRandomTrees()
{
    QRandomGenerator rng(8122026);
    const QStringList names{QStringLiteral("Head"), QStringLiteral("Item"), QStringLiteral("@id"),
                            QStringLiteral("Tail"), QStringLiteral("Zed"), QStringLiteral("項目"), QStringLiteral("@x")};
    const QStringList values{QString(), QStringLiteral("plain"), QStringLiteral("a,b,,c"), QStringLiteral(" lead"),
                             QStringLiteral("line\nbreak\r\n"), QStringLiteral("日本語 😀"), QStringLiteral("DAT,,x,y")};
    const NameLists lists(entries({"Doc/Head", "Doc/Item", "Doc/Item/@id", "Doc/Item/Item", "Doc/Tail",
                                   "Doc/Item/Head", "Doc/Tail/@x"}),
                          {}, {});
    for (int round = 0; round < 200; ++round) {
        TreeNode top;
        TreeNode *doc = top.insertChild(0, std::make_unique<TreeNode>(QStringLiteral("Doc")));
        std::vector<TreeNode *> nodes{doc};
        const int count = rng.bounded(0, 60);
        for (int i = 0; i < count; ++i) {
            TreeNode *parent = nodes[static_cast<size_t>(rng.bounded(static_cast<int>(nodes.size())))];
            TreeNode *node = AddTreeNode(*parent, names[rng.bounded(static_cast<int>(names.size()))], lists);
            nodes.push_back(node);
        }
        for (TreeNode *node : nodes)
            node->setTag(values[rng.bounded(static_cast<int>(values.size()))]);

        const QStringList pairs = BuildPairList(top);
        QCOMPARE(pairs.size(), qsizetype(nodes.size()));
        const auto loaded = LoadPairList(pairs, lists);
        QCOMPARE(dump(*loaded), dump(top));
        QCOMPARE(BuildPairList(*loaded), pairs);
    }
}

void TestPairList::fromVariant()
{
    const QStringList list = entries({"DAT,,Doc,1"});
    QCOMPARE(PairListFromVariant(QVariant(list)), list);
    QCOMPARE(PairListFromVariant(QVariantList{QStringLiteral("DAT,,Doc,1")}), list);
    QVERIFY_THROWS_EXCEPTION(Error, PairListFromVariant(QVariant(QStringLiteral("DAT,,Doc,1"))));
    QVERIFY_THROWS_EXCEPTION(Error, PairListFromVariant(QVariant()));
    QVERIFY_THROWS_EXCEPTION(Error, PairListFromVariant(QVariantList{1, 2}));
}

QTEST_APPLESS_MAIN(TestPairList)
#include "tst_pairlist.moc"
