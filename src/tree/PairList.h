#pragma once

#include "NameLists.h"
#include "TreeNode.h"

#include <QStringList>
#include <QVariant>
#include <memory>

// Conversion between the provider's pair list and the document tree.
// Trees here are held under an invisible root (see TreeNode).
namespace tarnwell {

// The child of parent that segment ("Item" or "Item[n]") names: the n-th
// child, from 0, whose text is the segment without its index; null if none.
// Throws what SegmentIndex throws for a bad index.
TreeNode *FindChildNode(const TreeNode &parent, QStringView segment);

// Where a new child called name goes under parent: after the last child whose
// place in ListedChildNames(parent) is between 1 and the new name's place;
// first when there is none; last when the name is not declared at all.
// parentPath is NodeNamePath(parent), passed in because callers have it.
int OrderedInsertRow(const TreeNode &parent, const QString &parentPath, const QString &name,
                     const NameLists &lists);

// A new child called name, not yet inserted: black when its plain path is in
// list E, blue otherwise; row is where it goes under parent.
struct PlacedNode
{
    std::unique_ptr<TreeNode> node;
    int row;
};
PlacedNode PlaceTreeNode(const TreeNode &parent, const QString &parentPath, const QString &name,
                         const NameLists &lists);

// Creates a child of parent called name at its ordered place, black when its
// plain path is in list E and blue otherwise, expands parent, and returns it.
// The new node has no value. For trees that no view shows; a shown tree is
// changed through TreeModel.
TreeNode *AddTreeNode(TreeNode &parent, const QString &name, const NameLists &lists);

// Walks or extends the tree under invisibleRoot along path and sets the value
// of the node it ends at. The first segment stands for the root: it makes the
// root when the tree is empty and is otherwise not compared.
// Throws on a bad index and on an empty path, which leaves no node.
void AddPairToTree(TreeNode &invisibleRoot, const QString &path, const QString &value,
                   const NameLists &lists);

// Builds a new tree (under a new invisible root) from a pair list. Entries
// that are not "DAT" entries of at least four fields are skipped. Throws,
// naming the entry, on the first entry that cannot be loaded, and with an
// Overflow failure on more than 32,767 entries; nothing is built then.
std::unique_ptr<TreeNode> LoadPairList(const QStringList &pairs, const NameLists &lists);

// The pair list of the first top-level node's subtree, in document order;
// a list of one empty string for an empty tree. Throws an Overflow failure
// when that would be more than 32,767 entries.
QStringList BuildPairList(const TreeNode &invisibleRoot);

// Appends the entry of node and of all its descendants, parent first.
void AppendNodePairs(const TreeNode &node, QStringList &pairs);

// The provider's GetData result as a list of strings. Throws when the value
// holds something else.
QStringList PairListFromVariant(const QVariant &value);

} // namespace tarnwell
