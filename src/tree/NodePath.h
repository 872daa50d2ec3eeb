#pragma once

#include "TreeNode.h"

#include <QString>

// Paths of tree nodes. The indexed path names a node in the pair list; the
// plain path (no indexes) is matched against the configuration lists.
namespace tarnwell {

// The node's text, plus "[n]" when n > 0 earlier siblings share its text.
QString IndexedNodeName(const TreeNode &node);

// IndexedNodeName of each node from the top-level ancestor down, joined by "/".
QString IndexedNodePath(const TreeNode &node);

// The texts of the nodes from the top-level ancestor down, joined by "/".
QString NodeNamePath(const TreeNode &node);

} // namespace tarnwell
