// The queries over the configured name lists.
#include "Error.h"
#include "NameLists.h"
#include "NodePath.h"
#include "PairList.h"

#include <QRandomGenerator>
#include <QTest>

using namespace tarnwell;

namespace {

// Makes a tree from plain paths ("Root", "Root/A", ...), appending children in
// the order given, without any ordering rule.
struct Tree
{
    TreeNode top;
    TreeNode *add(const QString &path)
    {
        const QStringList segments = path.split(QLatin1Char('/'));
        TreeNode *node = top.childCount() ? top.firstChild()
                                          : top.insertChild(0, std::make_unique<TreeNode>(segments[0]));
        for (qsizetype i = 1; i < segments.size(); ++i) {
            TreeNode *next = node->childNamed(segments[i], 0);
            if (!next || i == segments.size() - 1)
                next = node->insertChild(node->childCount(), std::make_unique<TreeNode>(segments[i]));
            node = next;
        }
        return node;
    }
};

// The child names declared under path, found by walking list E entry by entry.
QStringList walkChildNames(const QStringList &listE, const QString &path)
{
    QStringList names;
    for (const QString &entry : listE) {
        if (entry.size() > path.size() && entry.startsWith(path) && entry[path.size()] == u'/') {
            const QString name = entry.mid(path.size() + 1).section(QLatin1Char('/'), 0, 0);
            if (!names.contains(name))
                names.append(name);
        }
    }
    return names;
}

} // namespace

class TestNameLists : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void indexOfName();
    void listedChildNames();
    void sharedLeadingCharactersDoNotCount();
    void isListedInE();
    void collectAddableItems_data();
    void collectAddableItems();
    void everythingPresentLeavesNothing();
    void lookupsAgreeWithWalkingTheList();
};

void TestNameLists::indexOfName()
{
    const QStringList names{QStringLiteral("a"), QStringLiteral("B"), QStringLiteral("a")};
    QCOMPARE(IndexOfName(names, u"a"), 1);
    QCOMPARE(IndexOfName(names, u"B"), 2);
    QCOMPARE(IndexOfName(names, u"b"), 0);
    QCOMPARE(IndexOfName({}, u"a"), 0);
    QVERIFY(ContainsName(names, u"B"));
    QVERIFY(!ContainsName(names, u"A"));
}

void TestNameLists::listedChildNames()
{
    const NameLists lists({QStringLiteral("Root/A"), QStringLiteral("Root/A/X"), QStringLiteral("Root/B"),
                           QStringLiteral("Root/A/Y")},
                          {}, {});
    Tree t;
    TreeNode *a = t.add(QStringLiteral("Root/A"));
    QCOMPARE(ListedChildNames(*t.top.firstChild(), lists), (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
    QCOMPARE(ListedChildNames(*a, lists), (QStringList{QStringLiteral("X"), QStringLiteral("Y")}));
    // Deeper entries contribute the name of the child they pass through.
    const NameLists deep({QStringLiteral("Root/C/D/E")}, {}, {});
    QCOMPARE(ListedChildNames(*t.top.firstChild(), deep), QStringList{QStringLiteral("C")});
}

void TestNameLists::sharedLeadingCharactersDoNotCount()
{
    const NameLists lists({QStringLiteral("Root/Ab"), QStringLiteral("Root/Ab/Z"), QStringLiteral("Root/A")}, {}, {});
    Tree t;
    TreeNode *a = t.add(QStringLiteral("Root/A"));
    QCOMPARE(ListedChildNames(*a, lists), QStringList());
}

void TestNameLists::isListedInE()
{
    const NameLists lists({QStringLiteral("Doc/Item"), QStringLiteral(" Doc/Head ")}, {}, {});
    Tree t;
    QVERIFY(IsListedInE(*t.add(QStringLiteral("Doc/Item")), lists));
    QVERIFY(!IsListedInE(*t.add(QStringLiteral("Doc/item")), lists));
    QVERIFY(!IsListedInE(*t.add(QStringLiteral("Doc/Head")), lists));
    QVERIFY(!IsListedInE(*t.top.firstChild(), lists));
}

void TestNameLists::collectAddableItems_data()
{
    QTest::addColumn<QStringList>("listS");
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("expected");
    const QStringList all{QStringLiteral("@id"), QStringLiteral("A"), QStringLiteral("B")};
    QTest::newRow("nothing present") << QStringList() << QStringList() << all;
    QTest::newRow("repeatable element stays") << QStringList() << QStringList{QStringLiteral("A")} << all;
    QTest::newRow("single element goes") << QStringList{QStringLiteral("Root/A")} << QStringList{QStringLiteral("A")}
                                         << QStringList{QStringLiteral("@id"), QStringLiteral("B")};
    QTest::newRow("attribute goes without S") << QStringList() << QStringList{QStringLiteral("@id")}
                                              << QStringList{QStringLiteral("A"), QStringLiteral("B")};
    QTest::newRow("unlisted child changes nothing") << QStringList() << QStringList{QStringLiteral("Z")} << all;
}

void TestNameLists::collectAddableItems()
{
    QFETCH(QStringList, listS);
    QFETCH(QStringList, present);
    QFETCH(QStringList, expected);
    const NameLists lists({QStringLiteral("Root/@id"), QStringLiteral("Root/A"), QStringLiteral("Root/A/X"),
                           QStringLiteral("Root/B")},
                          listS, {});
    Tree t;
    t.add(QStringLiteral("Root"));
    for (const QString &name : present)
        t.add(QStringLiteral("Root/") + name);
    QCOMPARE(CollectAddableItems(*t.top.firstChild(), lists), expected);
}

void TestNameLists::everythingPresentLeavesNothing()
{
    const NameLists lists({QStringLiteral("Root/@id"), QStringLiteral("Root/A")}, {QStringLiteral("Root/A")}, {});
    Tree t;
    t.add(QStringLiteral("Root/@id"));
    t.add(QStringLiteral("Root/A"));
    QVERIFY(CollectAddableItems(*t.top.firstChild(), lists).isEmpty());
}

// The look-up tables must answer exactly like walking list E.
void TestNameLists::lookupsAgreeWithWalkingTheList()
{
    QRandomGenerator rng(20261208);
    const QStringList names{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("ab"), QStringLiteral("@c"),
                            QStringLiteral(""), QStringLiteral("a b")};
    for (int round = 0; round < 50; ++round) {
        QStringList listE;
        QStringList paths{QStringLiteral("R")};
        const int count = rng.bounded(1, 40);
        for (int i = 0; i < count; ++i) {
            QString path = QStringLiteral("R");
            const int depth = rng.bounded(0, 4);
            for (int d = 0; d < depth; ++d)
                path += QLatin1Char('/') + names[rng.bounded(static_cast<int>(names.size()))];
            listE.append(path);
            paths.append(path);
            paths.append(path + QLatin1Char('/') + names[rng.bounded(static_cast<int>(names.size()))]);
        }
        const NameLists lists(listE, {}, {});
        for (const QString &path : std::as_const(paths)) {
            const QStringList walked = walkChildNames(listE, path);
            QCOMPARE(lists.childNamesUnder(path), walked);
            QCOMPARE(lists.isListedInE(path), listE.contains(path));
            for (const QString &name : names)
                QCOMPARE(lists.placeUnder(path, name), IndexOfName(walked, name));
        }
    }
}

QTEST_APPLESS_MAIN(TestNameLists)
#include "tst_namelists.moc"
