#pragma once

#include "NameHash.h"

#include "TreeNode.h"

#include <QHash>
#include <QSet>
#include <QStringList>

namespace tarnwell {

// The three name lists of the configuration file, in file order, duplicates
// kept: E (paths with editable values; declares which child names may stand
// under a path, and in which order), S (elements that may occur only once
// under their parent) and D (kept, not used).
//
// Besides the lists, the object keeps look-up tables built once, so that the
// queries below answer in constant time instead of walking list E for every
// node; their answers are the same as those of the walks.
class NameLists
{
public:
    NameLists() = default;
    // Throws an Overflow failure when a list holds more than 32,767 entries.
    NameLists(QStringList listE, QStringList listS, QStringList listD);

    const QStringList &listE() const { return m_listE; }
    const QStringList &listS() const { return m_listS; }
    const QStringList &listD() const { return m_listD; }

    // Whether plainPath equals an entry of list E (exact, case-sensitive).
    bool isListedInE(const QString &plainPath) const;
    // Whether plainPath equals an entry of list S.
    bool isListedInS(const QString &plainPath) const;
    // The distinct child names that list E declares under plainPath, in the
    // order of their first appearance in E.
    QStringList childNamesUnder(const QString &plainPath) const;
    // The 1-based place of name in childNamesUnder(plainPath), 0 if absent.
    int placeUnder(const QString &plainPath, const QString &name) const;

private:
    struct DeclaredChildren
    {
        QStringList names;
        NameMap<int> places; // name -> 1-based place in names
    };

    QStringList m_listE, m_listS, m_listD;
    NameSet m_setE, m_setS;
    NameMap<DeclaredChildren> m_children;
    qsizetype m_longestE = -1;
};

// The 1-based position of the first entry equal to name; 0 if none.
int IndexOfName(const QStringList &names, QStringView name);
// Whether IndexOfName is not 0.
bool ContainsName(const QStringList &names, QStringView name);

// Whether the node's plain path is an entry of list E.
bool IsListedInE(const TreeNode &node, const NameLists &lists);
// The distinct child names that list E declares under the node's plain path.
QStringList ListedChildNames(const TreeNode &node, const NameLists &lists);
// ListedChildNames less the names present under the node that may not be
// added again: attributes ("@" names) and elements whose path is in list S.
QStringList CollectAddableItems(const TreeNode &node, const NameLists &lists);

} // namespace tarnwell
