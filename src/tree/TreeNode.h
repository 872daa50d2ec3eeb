#pragma once

#include "NameHash.h"

#include <QString>
#include <QStringView>
#include <memory>
#include <vector>

namespace tarnwell {

// One node of the document tree: an element name or an "@attribute" name
// (Text), its value (Tag), its colour (ForeColor, 0x00BBGGRR) and whether it
// is expanded. A node owns its children, in display order.
//
// A tree is held under an invisible root node (no text, no parent): its
// children are the top-level nodes. "The root" of a document is the first
// top-level node.
class TreeNode
{
public:
    static constexpr quint32 kBlack = 0x00000000;
    static constexpr quint32 kBlue = 0x00FF0000;

    // An invisible root, the holder of the top-level nodes.
    TreeNode() = default;
    explicit TreeNode(QString text, quint32 foreColor = kBlue);
    ~TreeNode();

    TreeNode(const TreeNode &) = delete;
    TreeNode &operator=(const TreeNode &) = delete;

    const QString &text() const { return m_text; }
    const QString &tag() const { return m_tag; }
    void setTag(QString tag) { m_tag = std::move(tag); }
    quint32 foreColor() const { return m_foreColor; }
    void setForeColor(quint32 color) { m_foreColor = color; }
    // The entity reference ("&name;") whose text holds this node, which is
    // then read-only; empty for a node the file writes.
    const QString &lockedBy() const;
    void setLockedBy(const QString &entity);
    bool isExpanded() const { return m_expanded; }
    void setExpanded(bool expanded) { m_expanded = expanded; }

    // The parent; the invisible root for a top-level node, null for the
    // invisible root itself.
    TreeNode *parent() const { return m_parent; }
    bool isInvisibleRoot() const { return m_parent == nullptr; }
    bool isTopLevel() const { return m_parent && !m_parent->m_parent; }
    // The top-level ancestor of this node (this node when it is top-level).
    const TreeNode *topLevelAncestor() const;

    int childCount() const { return static_cast<int>(m_children.size()); }
    TreeNode *child(int row) const { return m_children[static_cast<size_t>(row)].get(); }
    TreeNode *firstChild() const { return m_children.empty() ? nullptr : m_children.front().get(); }
    TreeNode *lastChild() const { return m_children.empty() ? nullptr : m_children.back().get(); }
    // The position of this node among its parent's children (0 for the
    // invisible root).
    int row() const { return m_row; }

    // The n-th (from 0) child whose text is name, in display order; null when
    // there are not that many.
    TreeNode *childNamed(QStringView name, int n) const;
    // How many children have the text name.
    int countNamed(const QString &name) const;
    // How many earlier siblings share this node's text.
    int sameNameIndex() const;

    // Inserts child at row (0..childCount) and returns it.
    TreeNode *insertChild(int row, std::unique_ptr<TreeNode> child);
    // Removes the child at row, with its subtree, and hands it over.
    std::unique_ptr<TreeNode> takeChild(int row);

    // All nodes below this one (not counting this node).
    qsizetype descendantCount() const;

private:
    void renumberFrom(int row);

    QString m_text;
    QString m_tag;
    quint32 m_foreColor = kBlue;
    bool m_expanded = false;
    // lockedBy() as an index into a table of the names seen (0: none), so
    // that the field fits where the node has room anyway.
    quint16 m_lockedBy = 0;
    TreeNode *m_parent = nullptr;
    int m_row = 0;
    std::vector<std::unique_ptr<TreeNode>> m_children;
    // Children by text, each list in display order, so that "the n-th child
    // named X" is found without walking all siblings. Kept from kIndexFrom
    // children on; fewer are simply walked, which spares most nodes (leaves,
    // elements with a few attributes) a table of their own.
    static constexpr size_t kIndexFrom = 16;
    bool indexed() const { return m_children.size() >= kIndexFrom || (m_byName && !m_byName->empty()); }
    void addToIndex(TreeNode *child);
    // Held by pointer: most nodes have none, and the table itself is larger
    // than a pointer.
    std::unique_ptr<NameMap<std::vector<TreeNode *>>> m_byName;
};

} // namespace tarnwell
