#include "TreeModel.h"

#include "NodePath.h"
#include "PairList.h"

namespace tarnwell {

TreeModel::TreeModel(QObject *parent) : QAbstractItemModel(parent), m_root(std::make_unique<TreeNode>()) {}

TreeModel::~TreeModel() = default;

QModelIndex TreeModel::index(int row, int column, const QModelIndex &parent) const
{
    if (column != 0 || row < 0)
        return {};
    const TreeNode *parentNode = parent.isValid() ? nodeFromIndex(parent) : m_root.get();
    if (!parentNode || row >= parentNode->childCount())
        return {};
    return createIndex(row, 0, parentNode->child(row));
}

QModelIndex TreeModel::parent(const QModelIndex &child) const
{
    const TreeNode *node = nodeFromIndex(child);
    if (!node || node->isTopLevel())
        return {};
    return indexFromNode(node->parent());
}

int TreeModel::rowCount(const QModelIndex &parent) const
{
    if (parent.column() > 0)
        return 0;
    const TreeNode *node = parent.isValid() ? nodeFromIndex(parent) : m_root.get();
    return node ? node->childCount() : 0;
}

int TreeModel::columnCount(const QModelIndex &) const
{
    return 1;
}

QString TreeItemTip(const QString &value, const QStringList &problems, const QString &lockedBy)
{
    constexpr qsizetype kMost = 80;
    QString line = value.simplified();
    if (line.size() > kMost)
        line = line.left(kMost - 1) + u'…';
    QStringList lines;
    if (!line.isEmpty())
        lines.append(line);
    if (!lockedBy.isEmpty())
        lines.append(QStringLiteral("Read-only: the entity %1 gives it; change it in the XML View.").arg(lockedBy));
    for (const QString &p : problems)
        lines.append(QStringLiteral("Problem: %1").arg(p));
    return lines.join(u'\n');
}

void TreeModel::lockNodes(const QStringList &entries)
{
    for (const QString &entry : entries) {
        const qsizetype tab = entry.indexOf(u'\t');
        if (tab < 0)
            continue;
        TreeNode *node = m_root.get();
        for (const QStringView segment : QStringView(entry).mid(tab + 1).tokenize(u'/')) {
            node = FindChildNode(*node, segment);
            if (!node)
                break;
        }
        if (node && node != m_root.get())
            node->setLockedBy(entry.left(tab));
    }
}

QVariant TreeModel::data(const QModelIndex &index, int role) const
{
    const TreeNode *node = nodeFromIndex(index);
    if (!node)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return node->text();
    case TagRole:
        return node->tag();
    case ForeColorRole:
        return node->foreColor();
    case ExpandedRole:
        return node->isExpanded();
    case Qt::ToolTipRole:
    case Qt::AccessibleDescriptionRole:
        return TreeItemTip(node->tag(), m_problems.isEmpty() ? QStringList() : m_problems.value(IndexedNodePath(*node)),
                           node->lockedBy());
    default:
        return {};
    }
}

Qt::ItemFlags TreeModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

QHash<int, QByteArray> TreeModel::roleNames() const
{
    QHash<int, QByteArray> names = QAbstractItemModel::roleNames();
    names.insert(TagRole, "tag");
    names.insert(ForeColorRole, "foreColor");
    names.insert(ExpandedRole, "expanded");
    return names;
}

TreeNode *TreeModel::nodeFromIndex(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != this)
        return nullptr;
    return static_cast<TreeNode *>(index.internalPointer());
}

QModelIndex TreeModel::indexFromNode(const TreeNode *node) const
{
    if (!node || node->isInvisibleRoot())
        return {};
    return createIndex(node->row(), 0, const_cast<TreeNode *>(node));
}

void TreeModel::loadPairList(const QStringList &pairs, const NameLists &lists)
{
    std::unique_ptr<TreeNode> fresh = LoadPairList(pairs, lists);
    beginResetModel();
    m_root.swap(fresh);
    endResetModel();
    // The old tree goes here, after the views let go of it.
}

QStringList TreeModel::buildPairList() const
{
    return BuildPairList(*m_root);
}

void TreeModel::clear()
{
    if (isEmpty())
        return;
    auto fresh = std::make_unique<TreeNode>();
    beginResetModel();
    m_root.swap(fresh);
    endResetModel();
}

TreeNode *TreeModel::addTreeNode(TreeNode *parent, const QString &name, const NameLists &lists)
{
    Q_ASSERT(parent && !parent->isInvisibleRoot());
    PlacedNode placed = PlaceTreeNode(*parent, NodeNamePath(*parent), name, lists);
    beginInsertRows(indexFromNode(parent), placed.row, placed.row);
    TreeNode *node = parent->insertChild(placed.row, std::move(placed.node));
    endInsertRows();
    setExpanded(parent, true);
    return node;
}

void TreeModel::removeNode(TreeNode *node)
{
    Q_ASSERT(node && !node->isInvisibleRoot());
    TreeNode *parentNode = node->parent();
    const int row = node->row();
    beginRemoveRows(indexFromNode(parentNode), row, row);
    std::unique_ptr<TreeNode> removed = parentNode->takeChild(row);
    endRemoveRows();
}

void TreeModel::setTag(TreeNode *node, const QString &value)
{
    Q_ASSERT(node && !node->isInvisibleRoot());
    if (node->tag() == value)
        return;
    node->setTag(value);
    const QModelIndex index = indexFromNode(node);
    Q_EMIT dataChanged(index, index, {TagRole});
}

void TreeModel::setExpanded(TreeNode *node, bool expanded)
{
    if (node->isExpanded() == expanded)
        return;
    node->setExpanded(expanded);
    const QModelIndex index = indexFromNode(node);
    Q_EMIT dataChanged(index, index, {ExpandedRole});
}

} // namespace tarnwell
