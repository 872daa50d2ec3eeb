// Configurations made from example documents.
#include "ConfigFromDocuments.h"
#include "Configuration.h"
#include "Error.h"
#include "NodePath.h"
#include "PairEntry.h"
#include "PairList.h"
#include "Quen.h"
#include "StoreEdits.h"
#include "TreeNode.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <random>

using namespace tarnwell;

namespace {

const QString kData = QStringLiteral(TARNWELL_TEST_DATA "/xml/");

QStringList pairsOfDocument(const QByteArray &bytes)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("doc.xml"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        return {};
    f.close();
    auto controller = CreateQuenEngine()->WorkspaceList().at(0)->CreateController(
        QString(), QStringLiteral("QuenProv.Tarnwell"), QString(), QString());
    return controller->BindFile(path, QString())->RunCommand(QStringLiteral("GetData")).toStringList();
}

QString plainOf(const QString &indexed)
{
    QStringList segments = indexed.split(u'/');
    for (QString &s : segments)
        s = s.section(u'[', 0, 0);
    return segments.join(u'/');
}

void collect(const TreeNode &node, std::vector<const TreeNode *> &out)
{
    out.push_back(&node);
    for (int i = 0; i < node.childCount(); ++i)
        collect(*node.child(i), out);
}

// Whether every element's same-named children stand next to each other, so
// that loading in configuration order keeps the document's order.
bool siblingsStandTogether(const TreeNode &node)
{
    QSet<QString> closed;
    for (int i = 0; i < node.childCount(); ++i) {
        const QString &name = node.child(i)->text();
        if (closed.contains(name) && node.child(i - 1)->text() != name)
            return false;
        closed.insert(name);
        if (!siblingsStandTogether(*node.child(i)))
            return false;
    }
    return true;
}

// Whether all elements of one path show their child names in one order, so
// that a configuration can keep every document order.
bool childOrdersAgree(const TreeNode &root)
{
    std::vector<const TreeNode *> nodes;
    collect(root, nodes);
    QHash<QString, QHash<QString, QSet<QString>>> before; // path -> name -> names seen before it
    for (const TreeNode *node : nodes) {
        QStringList names;
        for (int i = 0; i < node->childCount(); ++i) {
            if (!names.contains(node->child(i)->text()))
                names.append(node->child(i)->text());
        }
        auto &order = before[NodeNamePath(*node)];
        for (qsizetype i = 0; i < names.size(); ++i) {
            for (qsizetype j = i + 1; j < names.size(); ++j) {
                if (order[names[i]].contains(names[j]))
                    return false;
                order[names[j]].insert(names[i]);
            }
        }
    }
    return true;
}

} // namespace

class TestConfigGen : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fitsItsDocument_data();
    void fitsItsDocument();
    void roundTripsWereChecked();
    void ordersMergedFirstSeenWins();
    void ordersFromEvidence_data();
    void ordersFromEvidence();
    void noNodeWhereNoDocumentHadOne();
    void refusesMoreLinesThanAListHolds_data();
    void refusesMoreLinesThanAListHolds();

private:
    int m_roundTrips = 0;
};

void TestConfigGen::fitsItsDocument_data()
{
    QTest::addColumn<QByteArray>("bytes");
    for (const QString &file : QDir(kData).entryList({QStringLiteral("*.xml")}, QDir::Files, QDir::Name)) {
        QFile f(kData + file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QTest::newRow(qPrintable(file)) << f.readAll();
    }
    std::mt19937 rng(1208);
    const storeedits::Choose choose = [&](unsigned n) { return std::uniform_int_distribution<unsigned>(0, n - 1)(rng); };
    for (int i = 0; i < 40; ++i)
        QTest::newRow(qPrintable(QStringLiteral("generated %1").arg(i))) << storeedits::randomDocument(choose);
}

// With the configuration made from a document: every node is black, the
// pair list builds back unchanged, and Add offers exactly the names that may
// repeat and the single ones not yet there.
void TestConfigGen::fitsItsDocument()
{
    QFETCH(QByteArray, bytes);
    const QStringList pairs = pairsOfDocument(bytes);
    QVERIFY(!pairs.isEmpty());
    ConfigFromDocuments config;
    config.addDocument(pairs);
    const NameLists lists = ParseConfiguration(config.text());
    const std::unique_ptr<TreeNode> tree = LoadPairList(pairs, lists);
    std::vector<const TreeNode *> nodes;
    collect(*tree->firstChild(), nodes);

    // Which names repeat under one parent, counted from the pair list itself.
    QSet<QString> repeating;
    for (const QString &pair : pairs) {
        const QString path = ParsePairEntry(pair)->path;
        if (path.endsWith(u']'))
            repeating.insert(plainOf(path));
    }

    for (const TreeNode *node : nodes) {
        const QString plain = NodeNamePath(*node);
        QVERIFY2(node == nodes.front() || node->foreColor() == TreeNode::kBlack, qPrintable(plain));
        if (node->text().startsWith(u'@'))
            continue;
        QStringList expected;
        QSet<QString> present;
        for (int i = 0; i < node->childCount(); ++i)
            present.insert(node->child(i)->text());
        for (const QString &name : lists.childNamesUnder(plain)) {
            if (!present.contains(name) || (!name.startsWith(u'@') && repeating.contains(plain + u'/' + name)))
                expected.append(name);
        }
        QCOMPARE(CollectAddableItems(*node, lists), expected);
    }
    const std::unique_ptr<TreeNode> asWritten = LoadPairList(pairs, NameLists());
    if (siblingsStandTogether(*asWritten->firstChild()) && childOrdersAgree(*asWritten->firstChild())) {
        QCOMPARE(BuildPairList(*tree), pairs);
        ++m_roundTrips;
    }
}

// The round trip above is checked only where it must hold: make sure it was
// checked for most documents.
void TestConfigGen::roundTripsWereChecked()
{
    QVERIFY2(m_roundTrips >= 30, qPrintable(QString::number(m_roundTrips)));
}

void TestConfigGen::ordersMergedFirstSeenWins()
{
    ConfigFromDocuments config;
    config.addDocument(pairsOfDocument("<R a=\"1\"><B/><C/><B/></R>"));
    // Disagrees on B and C, and brings D (after C) and A (first) and @z.
    config.addDocument(pairsOfDocument("<R z=\"2\" a=\"1\"><A/><C><X/></C><B/><D/><A/></R>"));
    config.addDocument(pairsOfDocument(QByteArray("<R><\xc3\x9c>\xc3\xa9</\xc3\x9c></R>")));
    QCOMPARE(config.text(), QByteArray("E,R\nE,R/@z\nE,R/@a\nE,R/B\nE,R/A\nES,R/C\nES,R/C/X\nES,R/D\nES,R/\xc3\x9c\n"));
}

// Under each path, names follow the order they stood in together, whatever
// order they were first seen in; evidence that contradicts what was taken
// before, directly or through other names, is dropped.
void TestConfigGen::ordersFromEvidence_data()
{
    QTest::addColumn<QList<QByteArray>>("documents");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("seen apart, then together")
        << QList<QByteArray>{"<r><a/></r>", "<r><b/></r>", "<r><b/><a/></r>"} << QByteArray("E,r\nES,r/b\nES,r/a\n");
    QTest::newRow("seen apart, then together, in one document")
        << QList<QByteArray>{"<r><x><a/></x><x><b/></x><x><b/><a/></x></r>"}
        << QByteArray("E,r\nE,r/x\nES,r/x/b\nES,r/x/a\n");
    QTest::newRow("a repeated name counts where it first stands")
        << QList<QByteArray>{"<r><b/><a/><b/></r>"} << QByteArray("E,r\nE,r/b\nES,r/a\n");
    QTest::newRow("disagreement, first seen wins")
        << QList<QByteArray>{"<r><b/><a/></r>", "<r><a/><b/><c/></r>"} << QByteArray("E,r\nES,r/b\nES,r/a\nES,r/c\n");
    QTest::newRow("disagreement in one document")
        << QList<QByteArray>{"<r><x><a/><b/></x><x><b/><a/></x></r>"}
        << QByteArray("E,r\nE,r/x\nES,r/x/a\nES,r/x/b\n");
    QTest::newRow("contradiction through a chain")
        << QList<QByteArray>{"<r><a/><b/></r>", "<r><b/><c/></r>", "<r><c/><a/></r>"}
        << QByteArray("E,r\nES,r/a\nES,r/b\nES,r/c\n");
    QTest::newRow("contradiction through a chain against first-seen order")
        << QList<QByteArray>{"<r><a/></r>", "<r><b/></r>", "<r><c/></r>", "<r><d/></r>", "<r><d/><b/></r>",
                             "<r><b/><c/></r>", "<r><c/><d/></r>"}
        << QByteArray("E,r\nES,r/a\nES,r/d\nES,r/b\nES,r/c\n");
    QTest::newRow("attributes apart from elements")
        << QList<QByteArray>{"<r y=\"1\"><b/></r>", "<r x=\"1\"><a/></r>", "<r x=\"1\" y=\"1\"><a/><b/></r>"}
        << QByteArray("E,r\nE,r/@x\nE,r/@y\nES,r/a\nES,r/b\n");
}

void TestConfigGen::ordersFromEvidence()
{
    QFETCH(QList<QByteArray>, documents);
    QFETCH(QByteArray, expected);
    ConfigFromDocuments config;
    // Asked between documents too: a result made early must follow the
    // documents after it.
    for (const QByteArray &document : std::as_const(documents)) {
        config.addDocument(pairsOfDocument(document));
        QVERIFY(config.root());
    }
    QCOMPARE(config.text(), expected);
}

void TestConfigGen::noNodeWhereNoDocumentHadOne()
{
    ConfigFromDocuments config;
    QVERIFY(!config.root());
    config.addDocument(pairsOfDocument("<R a=\"1\"><B/></R>"));
    const ConfigFromDocuments::Node *b = config.root()->child(u"B");
    QVERIFY(b);
    QVERIFY(!b->child(u"B"));
    QVERIFY(!config.root()->child(u"@a"));
    QVERIFY(!config.root()->child(u"C"));
}

// Documents whose paths, pattern with numbers counting on from one
// document to the next, make a configuration of 32,767 lines or one more.
void TestConfigGen::refusesMoreLinesThanAListHolds_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QList<int>>("counts"); // paths per document
    QTest::addColumn<bool>("refused");
    QTest::newRow("children, at the limit") << QStringLiteral("r/n%1") << QList<int>{20000, 12766} << false;
    QTest::newRow("children, one past") << QStringLiteral("r/n%1") << QList<int>{20000, 12767} << true;
    QTest::newRow("attributes, one past") << QStringLiteral("r/@a%1") << QList<int>{16000, 16767} << true;
    QTest::newRow("deeper, at the limit") << QStringLiteral("r/e/@a%1") << QList<int>{16000, 16765} << false;
    // Examples larger than a list: 40,000 siblings of one name give 2 lines.
    QTest::newRow("many siblings of one name") << QStringLiteral("r/n[%1]") << QList<int>{40000} << false;
    QTest::newRow("deeper, one past") << QStringLiteral("r/e/@a%1") << QList<int>{16000, 16766} << true;
}

void TestConfigGen::refusesMoreLinesThanAListHolds()
{
    QFETCH(QString, pattern);
    QFETCH(QList<int>, counts);
    QFETCH(bool, refused);
    ConfigFromDocuments config;
    QString failure;
    int next = 0;
    for (const int count : std::as_const(counts)) {
        QStringList pairs{QStringLiteral("DAT,,r,")};
        for (int i = 0; i < count; ++i)
            pairs.append(QStringLiteral("DAT,,") + pattern.arg(next++) + u',');
        try {
            config.addDocument(pairs);
        } catch (const Error &e) {
            failure = e.description();
        }
    }
    if (!refused) {
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QCOMPARE(config.text().count('\n'), pattern.contains(u'[') ? 2 : kMaxCount);
        return;
    }
    QVERIFY2(failure.contains(QStringLiteral("more than 32,767 paths")), qPrintable(failure));
    QVERIFY2(failure.contains(QStringLiteral("--depth N")), qPrintable(failure));
    QVERIFY_THROWS_EXCEPTION(Error, config.text());
}

QTEST_GUILESS_MAIN(TestConfigGen)
#include "tst_configgen.moc"
