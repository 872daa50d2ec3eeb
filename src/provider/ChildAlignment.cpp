// Which existing child element each wanted child element stands for.
#include "ChildAlignment.h"

#include "NameHash.h"

#include <algorithm>
#include <utility>

namespace tarnwell::xml::store {

namespace {

size_t combine(size_t seed, size_t value)
{
    return seed ^ (value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2));
}

size_t attributesHash(std::vector<std::pair<QString, QString>> attrs)
{
    std::sort(attrs.begin(), attrs.end());
    size_t h = 0x51;
    for (const auto &[k, v] : attrs)
        h = combine(combine(h, NameHash{}(k)), NameHash{}(v));
    return h;
}

// Subtree fingerprints: equal fingerprints mean equal names, values,
// attributes and children, all the way down. Children come after their
// parents in both element vectors, so one backward pass suffices.
template<typename Element>
std::vector<size_t> subtreeHashes(const std::vector<Element> &elements)
{
    std::vector<size_t> h(elements.size());
    for (size_t i = elements.size(); i-- > 0;) {
        const Element &e = elements[i];
        std::vector<std::pair<QString, QString>> attrs;
        for (const auto &a : e.attributes)
            attrs.emplace_back(a.segment, a.value);
        size_t v = combine(combine(NameHash{}(e.name), NameHash{}(e.value)), attributesHash(std::move(attrs)));
        for (int c : e.children)
            v = combine(v, h[static_cast<size_t>(c)]);
        h[i] = v;
    }
    return h;
}

// Pairs the same-named children of one parent: equal subtrees are matched
// first (so deleting one of several siblings removes that one), the rest in
// order. a and b hold fingerprints; the result gives, for each b, the index
// into a or -1.
std::vector<int> alignGroup(const std::vector<size_t> &a, const std::vector<size_t> &b)
{
    const size_t m = a.size(), n = b.size();
    std::vector<int> match(n, -1);
    if (m == n) {
        for (size_t i = 0; i < n; ++i)
            match[i] = static_cast<int>(i);
        return match;
    }
    size_t pre = 0;
    while (pre < m && pre < n && a[pre] == b[pre]) {
        match[pre] = static_cast<int>(pre);
        ++pre;
    }
    size_t suf = 0;
    while (suf < m - pre && suf < n - pre && a[m - 1 - suf] == b[n - 1 - suf]) {
        match[n - 1 - suf] = static_cast<int>(m - 1 - suf);
        ++suf;
    }
    const size_t ma = m - pre - suf, nb = n - pre - suf;
    // Anchors inside the middle: a longest common subsequence of equal
    // subtrees when the middle is small enough, none otherwise.
    std::vector<std::pair<size_t, size_t>> anchors;
    if (ma > 0 && nb > 0 && ma * nb <= 4'000'000) {
        std::vector<std::vector<int>> dp(ma + 1, std::vector<int>(nb + 1, 0));
        for (size_t i = ma; i-- > 0;)
            for (size_t j = nb; j-- > 0;)
                dp[i][j] = a[pre + i] == b[pre + j] ? dp[i + 1][j + 1] + 1 : std::max(dp[i + 1][j], dp[i][j + 1]);
        size_t i = 0, j = 0;
        while (i < ma && j < nb) {
            if (a[pre + i] == b[pre + j]) {
                anchors.emplace_back(i, j);
                ++i;
                ++j;
            } else if (dp[i + 1][j] >= dp[i][j + 1]) {
                ++i;
            } else {
                ++j;
            }
        }
    }
    anchors.emplace_back(ma, nb);
    size_t ai = 0, bj = 0;
    for (const auto &[ia, jb] : anchors) {
        // Between anchors, pair in order what both sides have.
        while (ai < ia && bj < jb) {
            match[pre + bj] = static_cast<int>(pre + ai);
            ++ai;
            ++bj;
        }
        if (ia < ma) {
            match[pre + jb] = static_cast<int>(pre + ia);
            ai = ia + 1;
            bj = jb + 1;
        }
    }
    return match;
}

} // namespace

ChildAlignment::ChildAlignment(const DomDocument &dom, const Target &target)
    : m_dom(dom), m_target(target), m_domHash(subtreeHashes(dom.elements)), m_targetHash(subtreeHashes(target.elements))
{
}

std::vector<int> ChildAlignment::matchChildren(int d, int t) const
{
    const std::vector<int> &existing = m_dom.elements[static_cast<size_t>(d)].children;
    const std::vector<int> &wanted = m_target.elements[static_cast<size_t>(t)].children;
    NameMap<std::pair<std::vector<int>, std::vector<int>>> groups; // name -> (existing pos, wanted pos)
    for (size_t i = 0; i < existing.size(); ++i)
        groups[m_dom.elements[static_cast<size_t>(existing[i])].name].first.push_back(static_cast<int>(i));
    for (size_t j = 0; j < wanted.size(); ++j)
        groups[m_target.elements[static_cast<size_t>(wanted[j])].name].second.push_back(static_cast<int>(j));
    std::vector<int> match(wanted.size(), -1);
    for (const auto &[groupName, group] : groups) {
        const auto &[ex, wa] = group;
        if (wa.empty())
            continue;
        std::vector<size_t> a, b;
        for (int i : ex)
            a.push_back(m_domHash[static_cast<size_t>(existing[static_cast<size_t>(i)])]);
        for (int j : wa)
            b.push_back(m_targetHash[static_cast<size_t>(wanted[static_cast<size_t>(j)])]);
        const std::vector<int> g = alignGroup(a, b);
        for (size_t j = 0; j < wa.size(); ++j) {
            if (g[j] >= 0)
                match[static_cast<size_t>(wa[j])] = ex[static_cast<size_t>(g[j])];
        }
    }
    return match;
}

} // namespace tarnwell::xml::store
