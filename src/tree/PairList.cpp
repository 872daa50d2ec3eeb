#include "PairList.h"

#include "NameHash.h"

#include "Error.h"
#include "NodePath.h"
#include "PairEntry.h"
#include "PathSyntax.h"

#include <QSet>

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

namespace {

// PlaceTreeNode, with whether the new node's plain path is in list E
// already known.
PlacedNode placeNode(const TreeNode &parent, const QString &parentPath, const QString &name, bool listed,
                     const NameLists &lists)
{
    return {std::make_unique<TreeNode>(name, listed ? TreeNode::kBlack : TreeNode::kBlue),
            OrderedInsertRow(parent, parentPath, name, lists)};
}

// Inserts a placed node under parent and expands parent.
TreeNode *insertPlaced(TreeNode &parent, PlacedNode placed)
{
    TreeNode *node = parent.insertChild(placed.row, std::move(placed.node));
    parent.setExpanded(true);
    return node;
}

} // namespace

PlacedNode PlaceTreeNode(const TreeNode &parent, const QString &parentPath, const QString &name,
                         const NameLists &lists)
{
    return placeNode(parent, parentPath, name, lists.isListedInE(parentPath + QLatin1Char('/') + name), lists);
}

namespace {

// Adds the entries of one pair list to a tree. It keeps its path buffers
// from entry to entry, and one string per name, which the nodes of that name
// share: a long list costs no more copies than it has values.
class TreeLoader
{
public:
    TreeLoader(TreeNode &invisibleRoot, const NameLists &lists) : m_root(invisibleRoot), m_lists(lists) {}

    // What AddPairToTree does.
    void add(QStringView path, QStringView value)
    {
        if (path.isEmpty())
            throw Error(QStringLiteral("The path is empty, so no node can take the value."),
                        Error::Kind::InvalidArgument);
        TreeNode *current = nullptr;
        m_plainPath.truncate(0);
        qsizetype start = 0;
        while (start <= path.size()) {
            qsizetype slash = path.indexOf(u'/', start);
            if (slash < 0)
                slash = path.size();
            const QStringView segment = path.mid(start, slash - start);
            if (!current) {
                if (m_root.childCount() == 0)
                    m_root.insertChild(0, std::make_unique<TreeNode>(segment.toString(), TreeNode::kBlue));
                current = m_root.firstChild();
                m_plainPath.append(current->text());
            } else {
                const qsizetype bracket = segment.indexOf(u'[');
                const QStringView name = bracket < 0 ? segment : segment.left(bracket);
                TreeNode *child = current->childNamed(name, SegmentIndex(segment));
                if (!child)
                    child = addChild(*current, name);
                current = child;
                m_plainPath.append(u'/').append(name);
            }
            start = slash + 1;
        }
        current->setTag(value.toString());
    }

private:
    // A new child of parent (whose plain path is m_plainPath) at its
    // ordered place, as AddTreeNode makes it; its own path goes into a
    // buffer kept for that.
    TreeNode *addChild(TreeNode &parent, QStringView nameView)
    {
        const QString name = held(nameView);
        m_childPath.truncate(0);
        m_childPath.append(m_plainPath).append(u'/').append(name);
        return insertPlaced(parent, placeNode(parent, m_plainPath, name, m_lists.isListedInE(m_childPath), m_lists));
    }

    QString held(QStringView name)
    {
        const auto known = m_names.find(name);
        if (known != m_names.end())
            return *known;
        return *m_names.insert(name.toString()).first;
    }

    TreeNode &m_root;
    const NameLists &m_lists;
    QString m_plainPath;
    QString m_childPath;
    NameSet m_names;
};

} // namespace

TreeNode *AddTreeNode(TreeNode &parent, const QString &name, const NameLists &lists)
{
    return insertPlaced(parent, PlaceTreeNode(parent, NodeNamePath(parent), name, lists));
}

void AddPairToTree(TreeNode &invisibleRoot, const QString &path, const QString &value,
                   const NameLists &lists)
{
    TreeLoader(invisibleRoot, lists).add(path, value);
}

std::unique_ptr<TreeNode> LoadPairList(const QStringList &pairs, const NameLists &lists)
{
    checkCount(pairs.size(), QStringLiteral("entries in the pair list"));
    auto root = std::make_unique<TreeNode>();
    TreeLoader loader(*root, lists);
    for (qsizetype i = 0; i < pairs.size(); ++i) {
        const std::optional<PairEntryView> entry = SplitPairEntry(pairs[i]);
        if (!entry)
            continue;
        try {
            loader.add(entry->path, entry->value);
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
// not walked once per node. Each entry is built in one piece; a node's path
// stands in its own entry, and its children take it from there.
void appendSubtree(const TreeNode &node, const QString &path, QStringList &pairs)
{
    struct Pending
    {
        const TreeNode *node;
        int index;       // among the earlier siblings of the same text
        int parentEntry; // the parent's entry in pairs; -1 for node itself
    };
    struct PathInEntry
    {
        qsizetype start;
        qsizetype length;
    };
    const qsizetype firstEntry = pairs.size();
    std::vector<PathInEntry> paths; // per entry appended here
    std::vector<Pending> stack{{&node, 0, -1}};
    NameMap<int> seen;
    std::vector<Pending> children;
    while (!stack.empty()) {
        const Pending item = stack.back();
        stack.pop_back();
        QStringView parentPath;
        if (item.parentEntry >= 0) {
            const PathInEntry &at = paths[static_cast<size_t>(item.parentEntry - firstEntry)];
            parentPath = QStringView(pairs.at(item.parentEntry)).mid(at.start, at.length);
        }
        const QString &text = item.node->text();
        // The namespace follows the path's last segment, which is this
        // node's own (a segment with an index is never the namespaced one).
        const QString ns = item.parentEntry < 0 ? NamespaceForPath(path)
                           : item.index == 0    ? NamespaceForPath(text)
                                                : QString();
        const qsizetype pathSize = item.parentEntry < 0 ? path.size()
                                                        : parentPath.size() + 1 + IndexedSegmentSize(text, item.index);
        QString entry;
        entry.reserve(kRecordMarker.size() + ns.size() + pathSize + item.node->tag().size() + 3);
        entry.append(kRecordMarker).append(u',').append(ns).append(u',');
        const qsizetype start = entry.size();
        if (item.parentEntry < 0) {
            entry.append(path);
        } else {
            entry.append(parentPath).append(u'/');
            AppendIndexedSegment(entry, text, item.index);
        }
        const qsizetype length = entry.size() - start;
        entry.append(u',').append(item.node->tag());
        const int entryIndex = static_cast<int>(pairs.size());
        pairs.append(std::move(entry));
        paths.push_back({start, length});
        const int count = item.node->childCount();
        if (count == 0)
            continue;
        seen.clear();
        children.clear();
        children.reserve(static_cast<size_t>(count));
        // Siblings of one name share its string (the loader sees to that), so
        // a run of them is counted without a look-up each.
        const QChar *lastName = nullptr;
        int *lastCount = nullptr;
        for (int row = 0; row < count; ++row) {
            const TreeNode *child = item.node->child(row);
            if (!lastCount || child->text().constData() != lastName) {
                lastCount = &seen[child->text()];
                lastName = child->text().constData();
            }
            children.push_back({child, (*lastCount)++, entryIndex});
        }
        // Reverse onto the stack so the first child comes off first.
        for (auto it = children.rbegin(); it != children.rend(); ++it)
            stack.push_back(*it);
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
    const qsizetype count = root->descendantCount() + 1;
    checkCount(count, QStringLiteral("nodes in one pair list"));
    QStringList pairs;
    pairs.reserve(count);
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
