// Which existing child element each wanted child element stands for.
#pragma once

#include "StoreTarget.h"
#include "XmlDocument.h"

#include <cstddef>
#include <vector>

namespace tarnwell::xml::store {

// Matches the document's elements with the target's through fingerprints
// of their subtrees, taken once for both trees.
class ChildAlignment
{
public:
    ChildAlignment(const DomDocument &dom, const Target &target);

    // Whether the document's element d and target element t hold the same
    // names, values, attributes and children, all the way down.
    bool sameSubtree(int d, int t) const
    {
        return m_domHash[static_cast<size_t>(d)] == m_targetHash[static_cast<size_t>(t)];
    }

    // For each target child of t, the position among d's element children of
    // the existing child it stands for, or -1 for a new one.
    std::vector<int> matchChildren(int d, int t) const;

private:
    const DomDocument &m_dom;
    const Target &m_target;
    std::vector<size_t> m_domHash, m_targetHash;
};

} // namespace tarnwell::xml::store
