#pragma once

#include <QByteArray>
#include <QHash>
#include <QStringList>
#include <memory>
#include <vector>

// A TarnwellEditor.cfg inferred from example documents of one family.
namespace tarnwell {

class TreeNode;

class ConfigFromDocuments
{
public:
    ConfigFromDocuments();
    ~ConfigFromDocuments();

    // Takes in one document's pair list (as GetData gives it). Throws what
    // loading a pair list throws.
    void addDocument(const QStringList &pairs);

    // List E in pre-order (the root, its attributes in document order, then
    // each child name's subtree in the order the names appear under that
    // parent, merged over all documents so that the first seen order wins),
    // each element path flagged S when it never stood twice under one parent.
    // One "E,path" or "ES,path" line each, UTF-8 with LF.
    QByteArray text() const;

    struct Shape;
    using Node = Shape;
    const Node *root() const { return m_root.get(); }

    struct Shape
    {
        const Shape *child(const QString &n) const { return byName.value(n).get(); }
        QString name;
        QStringList attributes;     // "@name", in merged order
        QStringList children;       // element names, in merged order
        QHash<QString, std::shared_ptr<Shape>> byName;
        bool repeats = false; // stood twice under one parent somewhere
    };

private:

    void addElement(Shape &shape, const TreeNode &node);
    static void merge(QStringList &order, const QStringList &seen);
    static void write(const Shape &shape, const QString &path, bool root, QByteArray &out);

    std::unique_ptr<Shape> m_root;
};

} // namespace tarnwell
