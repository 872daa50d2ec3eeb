// The item model over the document tree.
#include "Error.h"
#include "NodePath.h"
#include "TreeModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

using namespace tarnwell;

namespace {

const NameLists &lists()
{
    static const NameLists l({QStringLiteral("Doc/Head"), QStringLiteral("Doc/Item"), QStringLiteral("Doc/Item/@id"),
                              QStringLiteral("Doc/Tail")},
                             {}, {});
    return l;
}

QStringList sample()
{
    return {QStringLiteral("DAT,,Doc,"), QStringLiteral("DAT,,Doc/Head,h"), QStringLiteral("DAT,,Doc/Item,1"),
            QStringLiteral("DAT,,Doc/Item/@id,a"), QStringLiteral("DAT,,Doc/Item[1],2"), QStringLiteral("DAT,,Doc/Tail,t")};
}

} // namespace

class TestTreeModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void loadShowsTree();
    void failedLoadKeepsShownTree();
    void addNotifiesInsertion();
    void removeNotifiesRemoval();
    void setTagNotifies();
    void clearEmptiesTree();
    void buildFollowsEdits();

private:
    TreeModel *m_model = nullptr;
    QAbstractItemModelTester *m_tester = nullptr;
};

void TestTreeModel::init()
{
    m_model = new TreeModel;
    m_tester = new QAbstractItemModelTester(m_model, QAbstractItemModelTester::FailureReportingMode::QtTest);
}

void TestTreeModel::cleanup()
{
    delete m_tester;
    delete m_model;
}

void TestTreeModel::loadShowsTree()
{
    QSignalSpy reset(m_model, &QAbstractItemModel::modelReset);
    m_model->loadPairList(sample(), lists());
    QCOMPARE(reset.count(), 1);
    QCOMPARE(m_model->rowCount(), 1);
    const QModelIndex doc = m_model->index(0, 0);
    QCOMPARE(doc.data().toString(), QStringLiteral("Doc"));
    QCOMPARE(doc.data(TreeModel::ForeColorRole).toUInt(), TreeNode::kBlue);
    QVERIFY(doc.data(TreeModel::ExpandedRole).toBool());
    QCOMPARE(m_model->rowCount(doc), 4);
    const QModelIndex item1 = m_model->index(2, 0, doc);
    QCOMPARE(item1.data(TreeModel::TagRole).toString(), QStringLiteral("2"));
    QCOMPARE(item1.data(TreeModel::ForeColorRole).toUInt(), TreeNode::kBlack);
    QCOMPARE(item1.parent(), doc);
    QCOMPARE(m_model->indexFromNode(m_model->nodeFromIndex(item1)), item1);
}

// A load that fails part-way must not leave a partial tree that a later store
// could write as if it were the whole document.
void TestTreeModel::failedLoadKeepsShownTree()
{
    m_model->loadPairList(sample(), lists());
    const QStringList before = m_model->buildPairList();
    QSignalSpy reset(m_model, &QAbstractItemModel::modelAboutToBeReset);
    QStringList bad = sample();
    bad.insert(2, QStringLiteral("DAT,,Doc/Item[x],oops"));
    QVERIFY_THROWS_EXCEPTION(Error, m_model->loadPairList(bad, lists()));
    QCOMPARE(reset.count(), 0);
    QCOMPARE(m_model->buildPairList(), before);
}

void TestTreeModel::addNotifiesInsertion()
{
    m_model->loadPairList(sample(), lists());
    TreeNode *doc = m_model->rootNode();
    QSignalSpy inserted(m_model, &QAbstractItemModel::rowsInserted);
    TreeNode *item = m_model->addTreeNode(doc, QStringLiteral("Item"), lists());
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(inserted[0][0].value<QModelIndex>(), m_model->indexFromNode(doc));
    QCOMPARE(inserted[0][1].toInt(), 3);
    QCOMPARE(IndexedNodePath(*item), QStringLiteral("Doc/Item[2]"));
    // Under a leaf: the leaf becomes expanded and the view hears of it.
    QSignalSpy changed(m_model, &QAbstractItemModel::dataChanged);
    TreeNode *id = m_model->addTreeNode(item, QStringLiteral("@id"), lists());
    QCOMPARE(id->foreColor(), TreeNode::kBlack);
    QVERIFY(item->isExpanded());
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed[0][0].value<QModelIndex>(), m_model->indexFromNode(item));
}

void TestTreeModel::removeNotifiesRemoval()
{
    m_model->loadPairList(sample(), lists());
    TreeNode *doc = m_model->rootNode();
    QSignalSpy removed(m_model, &QAbstractItemModel::rowsRemoved);
    m_model->removeNode(doc->child(1)); // the first Item, with its @id
    QCOMPARE(removed.count(), 1);
    QCOMPARE(removed[0][1].toInt(), 1);
    QCOMPARE(m_model->buildPairList(),
             (QStringList{QStringLiteral("DAT,,Doc,"), QStringLiteral("DAT,,Doc/Head,h"), QStringLiteral("DAT,,Doc/Item,2"),
                          QStringLiteral("DAT,,Doc/Tail,t")}));
}

void TestTreeModel::setTagNotifies()
{
    m_model->loadPairList(sample(), lists());
    TreeNode *head = m_model->rootNode()->child(0);
    QSignalSpy changed(m_model, &QAbstractItemModel::dataChanged);
    m_model->setTag(head, QStringLiteral("new, value"));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(m_model->indexFromNode(head).data(TreeModel::TagRole).toString(), QStringLiteral("new, value"));
    m_model->setTag(head, QStringLiteral("new, value"));
    QCOMPARE(changed.count(), 1);
}

void TestTreeModel::clearEmptiesTree()
{
    m_model->loadPairList(sample(), lists());
    m_model->clear();
    QVERIFY(m_model->isEmpty());
    QCOMPARE(m_model->rowCount(), 0);
    QCOMPARE(m_model->buildPairList(), QStringList{QString()});
    m_model->loadPairList({}, lists());
    QVERIFY(m_model->isEmpty());
}

void TestTreeModel::buildFollowsEdits()
{
    m_model->loadPairList(sample(), lists());
    TreeNode *doc = m_model->rootNode();
    m_model->addTreeNode(doc, QStringLiteral("Head"), lists());
    m_model->removeNode(doc->child(3)); // the second Item
    m_model->setTag(doc->child(1), QStringLiteral("second head"));
    QCOMPARE(m_model->buildPairList(),
             (QStringList{QStringLiteral("DAT,,Doc,"), QStringLiteral("DAT,,Doc/Head,h"),
                          QStringLiteral("DAT,,Doc/Head[1],second head"), QStringLiteral("DAT,,Doc/Item,1"),
                          QStringLiteral("DAT,,Doc/Item/@id,a"), QStringLiteral("DAT,,Doc/Tail,t")}));
}

QTEST_GUILESS_MAIN(TestTreeModel)
#include "tst_treemodel.moc"
