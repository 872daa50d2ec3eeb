#include "PairList.h"

#include "Error.h"
#include "NodePath.h"
#include "PairEntry.h"
#include "PathSyntax.h"

namespace tarnwell {

TreeNode *FindChildNode(const TreeNode &parent, QStringView segment)
{
    const int wanted = SegmentIndex(segment);
    return parent.childNamed(StripIndex(segment), wanted);
}

int OrderedInsertRow(const TreeNode &parent, const QString &parentPath, const QString &name,
                     const NameLists &lists)
{
    const int count = parent.childCount();
    if (count == 0)
        return 0;
    const int pos = lists.placeUnder(parentPath, name);
    if (pos == 0)
        return count;

    // The last child with a place between 1 and pos is the latest of the
    // last children of the declared names up to pos. The common case
    // (loading in document order) is answered by the last child alone.
    const int lastPlace = lists.placeUnder(parentPath, parent.lastChild()->text());
    if (lastPlace >= 1 && lastPlace <= pos)
        return count;

    int insertAfter = -1;
    const QStringList declared = lists.childNamesUnder(parentPath);
    for (int place = 1; place <= pos; ++place) {
        const QString &declaredName = declared[place - 1];
        const int same = parent.countNamed(declaredName);
        if (same > 0)
            insertAfter = std::max(insertAfter, parent.childNamed(declaredName, same - 1)->row());
    }
    return insertAfter + 1;
}

PlacedNode PlaceTreeNode(const TreeNode &parent, const QString &parentPath, const QString &name,
                         const NameLists &lists)
{
    const bool listed = lists.isListedInE(parentPath + QLatin1Char('/') + name);
    return {std::make_unique<TreeNode>(name, listed ? TreeNode::kBlack : TreeNode::kBlue),
            OrderedInsertRow(parent, parentPath, name, lists)};
}

namespace {

TreeNode *addTreeNodeAt(TreeNode &parent, const QString &parentPath, const QString &name,
                        const NameLists &lists)
{
    PlacedNode placed = PlaceTreeNode(parent, parentPath, name, lists);
    TreeNode *node = parent.insertChild(placed.row, std::move(placed.node));
    parent.setExpanded(true);
    return node;
}

} // namespace

TreeNode *AddTreeNode(TreeNode &parent, const QString &name, const NameLists &lists)
{
    return addTreeNodeAt(parent, NodeNamePath(parent), name, lists);
}

void AddPairToTree(TreeNode &invisibleRoot, const QString &path, const QString &value,
                   const NameLists &lists)
{
    if (path.isEmpty())
        throw Error(QStringLiteral("The path is empty, so no node can take the value."),
                    Error::Kind::InvalidArgument);

    TreeNode *current = nullptr;
    QString plainPath;
    qsizetype start = 0;
    while (start <= path.size()) {
        qsizetype slash = path.indexOf(u'/', start);
        if (slash < 0)
            slash = path.size();
        const QStringView segment = QStringView(path).mid(start, slash - start);
        if (!current) {
            if (invisibleRoot.childCount() == 0)
                invisibleRoot.insertChild(0, std::make_unique<TreeNode>(segment.toString(), TreeNode::kBlue));
            current = invisibleRoot.firstChild();
            plainPath = current->text();
        } else {
            // FindChildNode, with the name stripped once for both uses.
            const QString name = StripIndex(segment);
            TreeNode *child = current->childNamed(name, SegmentIndex(segment));
            if (!child)
                child = addTreeNodeAt(*current, plainPath, name, lists);
            current = child;
            plainPath += QLatin1Char('/');
            plainPath += name;
        }
        start = slash + 1;
    }
    current->setTag(value);
}

std::unique_ptr<TreeNode> LoadPairList(const QStringList &pairs, const NameLists &lists)
{
    checkCount(pairs.size(), QStringLiteral("entries in the pair list"));
    auto root = std::make_unique<TreeNode>();
    for (qsizetype i = 0; i < pairs.size(); ++i) {
        const std::optional<PairEntry> entry = ParsePairEntry(pairs[i]);
        if (!entry)
            continue;
        try {
            AddPairToTree(*root, entry->path, entry->value, lists);
        } catch (const Error &e) {
            throw e.withContext(QStringLiteral("Entry %1 (%2) cannot be loaded: ")
                                    .arg(i + 1)
                                    .arg(quoteForMessage(pairs[i])));
        }
    }
    return root;
}

namespace {

// Appends the entries of node's subtree; path is node's indexed path. Works
// with an explicit stack so that depth costs no call stack, and gives every
// child its index by counting names per parent, so that a flat document is
// not walked once per node.
void appendSubtree(const TreeNode &node, const QString &path, QStringList &pairs)
{
    struct Pending
    {
        const TreeNode *node;
        QString path;
    };
    std::vector<Pending> stack{{&node, path}};
    QHash<QString, int> seen;
    std::vector<Pending> children;
    while (!stack.empty()) {
        Pending item = std::move(stack.back());
        stack.pop_back();
        pairs.append(FormatPairEntry(NamespaceForPath(item.path), item.path, item.node->tag()));
        const int count = item.node->childCount();
        if (count == 0)
            continue;
        seen.clear();
        children.clear();
        children.reserve(static_cast<size_t>(count));
        for (int row = 0; row < count; ++row) {
            const TreeNode *child = item.node->child(row);
            const int index = seen[child->text()]++;
            children.push_back({child, item.path + QLatin1Char('/') + IndexedSegment(child->text(), index)});
        }
        // Reverse onto the stack so the first child comes off first.
        for (auto it = children.rbegin(); it != children.rend(); ++it)
            stack.push_back(std::move(*it));
    }
}

} // namespace

void AppendNodePairs(const TreeNode &node, QStringList &pairs)
{
    appendSubtree(node, IndexedNodePath(node), pairs);
}

QStringList BuildPairList(const TreeNode &invisibleRoot)
{
    const TreeNode *first = invisibleRoot.firstChild();
    if (!first)
        return QStringList{QString()};
    const TreeNode *root = first->topLevelAncestor();
    checkCount(root->descendantCount() + 1, QStringLiteral("nodes in one pair list"));
    QStringList pairs;
    pairs.reserve(root->descendantCount() + 1);
    AppendNodePairs(*root, pairs);
    return pairs;
}

QStringList PairListFromVariant(const QVariant &value)
{
    if (std::optional<QStringList> list = PairListIn(value))
        return *std::move(list);
    throw Error(QStringLiteral("The provider's data is not a list of text entries."));
}

} // namespace tarnwell
