#include "TreeNode.h"

#include <QHash>
#include <QStringList>

#include <algorithm>

namespace tarnwell {

namespace {

// The entity references nodes are locked by, each once, looked up by name;
// the tree lives on one thread. Index 0 is none; index 1 stands for every
// name past what the field holds.
struct LockNames
{
    QStringList names{QString(), QStringLiteral("an entity")};
    QHash<QString, quint16> byName;
};

LockNames &lockNames()
{
    static LockNames table;
    return table;
}

} // namespace

const QString &TreeNode::lockedBy() const
{
    return lockNames().names.at(m_lockedBy);
}

void TreeNode::setLockedBy(const QString &entity)
{
    if (entity.isEmpty()) {
        m_lockedBy = 0;
        return;
    }
    LockNames &table = lockNames();
    auto known = table.byName.constFind(entity);
    if (known == table.byName.cend()) {
        if (table.names.size() > 0xFFFF) {
            m_lockedBy = 1;
            return;
        }
        table.names.append(entity);
        known = table.byName.insert(entity, static_cast<quint16>(table.names.size() - 1));
    }
    m_lockedBy = *known;
}

TreeNode::TreeNode(QString text, quint32 foreColor) : m_text(std::move(text)), m_foreColor(foreColor) {}

TreeNode::~TreeNode()
{
    // Tear the subtree down without recursion, so that a very deep tree
    // cannot exhaust the stack.
    std::vector<std::unique_ptr<TreeNode>> pending = std::move(m_children);
    while (!pending.empty()) {
        std::unique_ptr<TreeNode> node = std::move(pending.back());
        pending.pop_back();
        for (auto &grandChild : node->m_children)
            pending.push_back(std::move(grandChild));
        node->m_children.clear();
    }
}

const TreeNode *TreeNode::topLevelAncestor() const
{
    const TreeNode *node = this;
    while (node->m_parent && node->m_parent->m_parent)
        node = node->m_parent;
    return node;
}

TreeNode *TreeNode::childNamed(QStringView name, int n) const
{
    if (n < 0)
        return nullptr;
    if (!indexed()) {
        for (const auto &child : m_children) {
            if (child->m_text == name && n-- == 0)
                return child.get();
        }
        return nullptr;
    }
    const auto it = m_byName->find(name);
    if (it == m_byName->end() || static_cast<size_t>(n) >= it->second.size())
        return nullptr;
    return it->second[static_cast<size_t>(n)];
}

int TreeNode::countNamed(const QString &name) const
{
    if (!indexed())
        return static_cast<int>(std::count_if(m_children.begin(), m_children.end(),
                                              [&](const auto &child) { return child->m_text == name; }));
    const auto it = m_byName->find(name);
    return it == m_byName->end() ? 0 : static_cast<int>(it->second.size());
}

int TreeNode::sameNameIndex() const
{
    if (!m_parent)
        return 0;
    if (!m_parent->indexed()) {
        return static_cast<int>(std::count_if(m_parent->m_children.begin(), m_parent->m_children.begin() + m_row,
                                              [&](const auto &sibling) { return sibling->m_text == m_text; }));
    }
    const auto &same = m_parent->m_byName->find(m_text)->second;
    const auto pos = std::lower_bound(same.begin(), same.end(), m_row,
                                      [](const TreeNode *n, int row) { return n->m_row < row; });
    return static_cast<int>(pos - same.begin());
}

TreeNode *TreeNode::insertChild(int row, std::unique_ptr<TreeNode> child)
{
    Q_ASSERT(row >= 0 && row <= childCount());
    Q_ASSERT(child && !child->m_parent);
    TreeNode *raw = child.get();
    raw->m_parent = this;
    const bool wasIndexed = indexed();
    m_children.insert(m_children.begin() + row, std::move(child));
    renumberFrom(row);
    if (wasIndexed) {
        addToIndex(raw);
    } else if (indexed()) {
        m_byName = std::make_unique<NameMap<std::vector<TreeNode *>>>();
        for (const auto &c : m_children)
            (*m_byName)[c->m_text].push_back(c.get());
    }
    return raw;
}

void TreeNode::addToIndex(TreeNode *child)
{
    auto &same = (*m_byName)[child->m_text];
    const int row = child->m_row;
    if (same.empty() || same.back()->m_row < row) {
        same.push_back(child);
    } else {
        const auto pos = std::lower_bound(same.begin(), same.end(), row,
                                          [](const TreeNode *n, int r) { return n->m_row < r; });
        same.insert(pos, child);
    }
}

std::unique_ptr<TreeNode> TreeNode::takeChild(int row)
{
    Q_ASSERT(row >= 0 && row < childCount());
    std::unique_ptr<TreeNode> child = std::move(m_children[static_cast<size_t>(row)]);
    m_children.erase(m_children.begin() + row);
    if (m_byName && !m_byName->empty()) {
        auto it = m_byName->find(child->m_text);
        it->second.erase(std::find(it->second.begin(), it->second.end(), child.get()));
        if (it->second.empty())
            m_byName->erase(it);
    }
    renumberFrom(row);
    child->m_parent = nullptr;
    child->m_row = 0;
    return child;
}

qsizetype TreeNode::descendantCount() const
{
    qsizetype count = 0;
    std::vector<const TreeNode *> pending{this};
    while (!pending.empty()) {
        const TreeNode *node = pending.back();
        pending.pop_back();
        count += node->childCount();
        for (const auto &c : node->m_children)
            pending.push_back(c.get());
    }
    return count;
}

void TreeNode::renumberFrom(int row)
{
    for (size_t i = static_cast<size_t>(row); i < m_children.size(); ++i)
        m_children[i]->m_row = static_cast<int>(i);
}

} // namespace tarnwell
