#include "NameLists.h"

#include "Error.h"
#include "NodePath.h"

namespace tarnwell {

NameLists::NameLists(QStringList listE, QStringList listS, QStringList listD)
    : m_listE(std::move(listE)), m_listS(std::move(listS)), m_listD(std::move(listD))
{
    checkCount(m_listE.size(), QStringLiteral("entries in list E"));
    checkCount(m_listS.size(), QStringLiteral("entries in list S"));
    checkCount(m_listD.size(), QStringLiteral("entries in list D"));

    m_setS = NameSet(m_listS.cbegin(), m_listS.cend());
    for (const QString &entry : std::as_const(m_listE)) {
        m_setE.insert(entry);
        m_longestE = std::max(m_longestE, entry.size());
        // Every "/" in an entry makes it declare a child name under the part
        // before that "/": the piece up to the next "/".
        for (qsizetype slash = entry.indexOf(u'/'); slash >= 0;) {
            const qsizetype next = entry.indexOf(u'/', slash + 1);
            const QString name = entry.mid(slash + 1, next < 0 ? -1 : next - slash - 1);
            DeclaredChildren &declared = m_children[entry.left(slash)];
            if (!declared.places.count(name)) {
                declared.names.append(name);
                declared.places.emplace(name, static_cast<int>(declared.names.size()));
            }
            slash = next;
        }
    }
}

bool NameLists::isListedInE(const QString &plainPath) const
{
    return plainPath.size() <= m_longestE && m_setE.count(plainPath) > 0;
}

bool NameLists::isListedInS(const QString &plainPath) const
{
    return m_setS.count(plainPath) > 0;
}

QStringList NameLists::childNamesUnder(const QString &plainPath) const
{
    if (plainPath.size() >= m_longestE)
        return {};
    const auto it = m_children.find(plainPath);
    return it == m_children.end() ? QStringList() : it->second.names;
}

int NameLists::placeUnder(const QString &plainPath, const QString &name) const
{
    if (plainPath.size() >= m_longestE)
        return 0;
    const auto it = m_children.find(plainPath);
    if (it == m_children.end())
        return 0;
    const auto place = it->second.places.find(name);
    return place == it->second.places.end() ? 0 : place->second;
}

int IndexOfName(const QStringList &names, QStringView name)
{
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (names[i] == name)
            return static_cast<int>(i + 1);
    }
    return 0;
}

bool ContainsName(const QStringList &names, QStringView name)
{
    return IndexOfName(names, name) != 0;
}

bool IsListedInE(const TreeNode &node, const NameLists &lists)
{
    return lists.isListedInE(NodeNamePath(node));
}

QStringList ListedChildNames(const TreeNode &node, const NameLists &lists)
{
    return lists.childNamesUnder(NodeNamePath(node));
}

QStringList CollectAddableItems(const TreeNode &node, const NameLists &lists)
{
    // A declared name is no longer on offer when a child of that name is
    // present and may occur only once: an attribute, or an element listed in
    // S. Asking per declared name keeps this independent of the child count.
    const QString path = NodeNamePath(node);
    QStringList addable;
    for (const QString &name : lists.childNamesUnder(path)) {
        const bool single = name.startsWith(u'@') || lists.isListedInS(path + QLatin1Char('/') + name);
        if (!single || node.countNamed(name) == 0)
            addable.append(name);
    }
    return addable;
}

} // namespace tarnwell
