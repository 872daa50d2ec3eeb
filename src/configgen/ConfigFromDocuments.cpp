#include "ConfigFromDocuments.h"

#include "Error.h"
#include "NameLists.h"
#include "PairList.h"
#include "TreeNode.h"

#include <algorithm>

namespace tarnwell {

ConfigFromDocuments::ConfigFromDocuments() = default;
ConfigFromDocuments::~ConfigFromDocuments() = default;

void ConfigFromDocuments::addDocument(const QStringList &pairs)
{
    // With no configuration, loading keeps the document's own order.
    const std::unique_ptr<TreeNode> tree = LoadPairList(pairs, NameLists());
    const TreeNode *root = tree->firstChild();
    if (!root)
        return;
    if (!m_root) {
        m_root = std::make_unique<Shape>();
        m_root->name = root->text();
    } else if (m_root->name != root->text()) {
        throw Error(QStringLiteral("The document's root %1 differs from the root %2 of the documents before it.")
                        .arg(quoteForMessage(root->text()), quoteForMessage(m_root->name)),
                    Error::Kind::InvalidArgument);
    }
    addElement(*m_root, *root);
}

// Merges the names one element showed, in its order, into order: names
// already there keep their place (the first seen order wins); a new name goes
// right after the names this element showed before it, or, when it showed
// none, before the next name it shows that is already there, else at the end.
void ConfigFromDocuments::merge(QStringList &order, const QStringList &seen)
{
    qsizetype after = -1;
    for (qsizetype i = 0; i < seen.size(); ++i) {
        const qsizetype known = order.indexOf(seen[i]);
        if (known >= 0) {
            after = std::max(after, known);
            continue;
        }
        qsizetype at = after + 1;
        if (after < 0) {
            at = order.size();
            for (qsizetype j = i + 1; j < seen.size() && at == order.size(); ++j) {
                if (const qsizetype next = order.indexOf(seen[j]); next >= 0)
                    at = next;
            }
        }
        order.insert(at, seen[i]);
        after = at;
    }
}

void ConfigFromDocuments::addElement(Shape &shape, const TreeNode &node)
{
    QHash<QString, int> count;
    QStringList attributes, children;
    for (int i = 0; i < node.childCount(); ++i) {
        const QString &name = node.child(i)->text();
        if (name.startsWith(u'@'))
            attributes.append(name);
        else if (count[name]++ == 0)
            children.append(name);
    }
    merge(shape.attributes, attributes);
    merge(shape.children, children);
    for (int i = 0; i < node.childCount(); ++i) {
        const TreeNode &child = *node.child(i);
        if (child.text().startsWith(u'@'))
            continue;
        std::shared_ptr<Shape> &sub = shape.byName[child.text()];
        if (!sub) {
            sub = std::make_shared<Shape>();
            sub->name = child.text();
        }
        if (count.value(child.text()) > 1)
            sub->repeats = true;
        addElement(*sub, child);
    }
}

void ConfigFromDocuments::write(const Shape &shape, const QString &path, bool root, QByteArray &out)
{
    out += (root || shape.repeats ? "E," : "ES,") + path.toUtf8() + '\n';
    for (const QString &a : shape.attributes)
        out += "E," + (path + u'/' + a).toUtf8() + '\n';
    for (const QString &name : shape.children)
        write(*shape.byName.value(name), path + u'/' + name, false, out);
}

QByteArray ConfigFromDocuments::text() const
{
    QByteArray out;
    if (m_root)
        write(*m_root, m_root->name, true, out);
    return out;
}

} // namespace tarnwell
