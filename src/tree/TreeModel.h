#pragma once

#include "NameLists.h"
#include "TreeNode.h"

#include <QAbstractItemModel>
#include <memory>

namespace tarnwell {

// The item model over the document tree. Every change of a shown tree goes
// through it, so that views hear of each insertion and removal.
//
// Roles: Qt::DisplayRole is the node's text, TagRole its value, ForeColorRole
// its colour as 0x00BBGGRR, ExpandedRole whether it is expanded. The colour
// as a QColor for Qt::ForegroundRole is added by the window's model, since
// QColor lives in Qt GUI. Qt::ToolTipRole and Qt::AccessibleDescriptionRole
// are its value on one line, then the problems noted for it.
class TreeModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    enum Role {
        TagRole = Qt::UserRole + 1,
        ForeColorRole,
        ExpandedRole,
    };

    explicit TreeModel(QObject *parent = nullptr);
    ~TreeModel() override;

    // QAbstractItemModel
    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QHash<int, QByteArray> roleNames() const override;

    // The invisible root that holds the top-level nodes.
    const TreeNode &invisibleRoot() const { return *m_root; }
    // The first top-level node, or null for an empty tree.
    TreeNode *rootNode() const { return m_root->firstChild(); }
    bool isEmpty() const { return m_root->childCount() == 0; }

    TreeNode *nodeFromIndex(const QModelIndex &index) const;
    QModelIndex indexFromNode(const TreeNode *node) const;

    // Replaces the whole tree with the one the pair list describes. The new
    // tree is built aside and only shown when the whole list loaded, so a
    // failure leaves the shown tree exactly as it was.
    void loadPairList(const QStringList &pairs, const NameLists &lists);
    // The pair list of the shown tree (see BuildPairList).
    QStringList buildPairList() const;
    // Removes every node.
    void clear();

    // Adds a child called name under parent at its ordered place (see
    // AddTreeNode) and returns it.
    TreeNode *addTreeNode(TreeNode *parent, const QString &name, const NameLists &lists);
    // Removes node with its subtree. The node must not be the invisible root.
    void removeNode(TreeNode *node);
    // Sets node's value.
    void setTag(TreeNode *node, const QString &value);
    // Marks the nodes an entity's text gives as read-only: entries are
    // "&name;<TAB>indexed path", as the provider's "EntityNodes" gives them.
    // A path the tree does not hold is passed over.
    void lockNodes(const QStringList &entries);
    // The problems of the latest schema check, by indexed node path (see
    // IndexedNodePath); they show in the nodes' tooltips.
    void setProblems(QHash<QString, QStringList> byPath) { m_problems = std::move(byPath); }

private:
    void setExpanded(TreeNode *node, bool expanded);

    std::unique_ptr<TreeNode> m_root;
    QHash<QString, QStringList> m_problems;
};

// A tree item's tooltip: its value on one line, cut at 80 characters, then
// that it is read-only (the entity lockedBy gives it), then each problem on
// a line of its own.
QString TreeItemTip(const QString &value, const QStringList &problems, const QString &lockedBy = QString());

} // namespace tarnwell
