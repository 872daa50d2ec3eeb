#include "ConfigFromDocuments.h"

#include "Error.h"
#include "NameLists.h"
#include "PairList.h"
#include "TreeNode.h"


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

// Takes in the order evidence of one element: each name's first occurrence
// stands before the next name's first occurrence, attributes and elements
// apart.
void ConfigFromDocuments::addElement(Shape &shape, const TreeNode &node)
{
    std::vector<int> count;
    std::vector<char> attributeSeen;
    int lastAttribute = -1, lastChild = -1;
    std::vector<std::pair<const TreeNode *, int>> elements;
    for (int i = 0; i < node.childCount(); ++i) {
        const TreeNode &child = *node.child(i);
        const bool attribute = child.text().startsWith(u'@');
        NameOrder &order = attribute ? shape.attributes : shape.children;
        bool added = false;
        const int number = order.intern(child.text(), &added);
        if (attribute) {
            attributeSeen.resize(static_cast<size_t>(order.size()));
            if (!attributeSeen[number]) {
                attributeSeen[number] = 1;
                if (lastAttribute >= 0)
                    order.addBefore(lastAttribute, number);
                lastAttribute = number;
            }
            continue;
        }
        if (added) {
            shape.shapes.push_back(std::make_unique<Shape>());
            shape.shapes.back()->name = child.text();
        }
        count.resize(static_cast<size_t>(shape.children.size()));
        if (count[number]++ == 0) {
            if (lastChild >= 0)
                order.addBefore(lastChild, number);
            lastChild = number;
        } else {
            shape.shapes[number]->repeats = true;
        }
        elements.emplace_back(&child, number);
    }
    for (const auto &[child, number] : elements)
        addElement(*shape.shapes[number], *child);
}

void ConfigFromDocuments::write(const Shape &shape, const QString &path, bool root, QByteArray &out)
{
    out += (root || shape.repeats ? "E," : "ES,") + path.toUtf8() + '\n';
    for (const QString &a : shape.attributes.sorted())
        out += "E," + (path + u'/' + a).toUtf8() + '\n';
    for (const QString &name : shape.children.sorted())
        write(*shape.shapes[shape.children.find(name)], path + u'/' + name, false, out);
}

QByteArray ConfigFromDocuments::text() const
{
    QByteArray out;
    if (m_root)
        write(*m_root, m_root->name, true, out);
    return out;
}

} // namespace tarnwell
