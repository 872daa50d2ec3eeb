#include "NodePath.h"

#include "PathSyntax.h"

#include <vector>

namespace tarnwell {

namespace {

template<typename SegmentOf>
QString joinFromTop(const TreeNode &node, SegmentOf segmentOf)
{
    std::vector<const TreeNode *> chain;
    for (const TreeNode *n = &node; n && !n->isInvisibleRoot(); n = n->parent())
        chain.push_back(n);
    QString path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (it != chain.rbegin())
            path += QLatin1Char('/');
        path += segmentOf(**it);
    }
    return path;
}

} // namespace

QString IndexedNodeName(const TreeNode &node)
{
    return IndexedSegment(node.text(), node.sameNameIndex());
}

QString IndexedNodePath(const TreeNode &node)
{
    return joinFromTop(node, [](const TreeNode &n) { return IndexedNodeName(n); });
}

QString NodeNamePath(const TreeNode &node)
{
    return joinFromTop(node, [](const TreeNode &n) { return n.text(); });
}

} // namespace tarnwell
