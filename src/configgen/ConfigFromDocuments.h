#pragma once

#include "NameOrder.h"

#include <QByteArray>
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

    // List E in pre-order (the root, its attributes, then each child name's
    // subtree), each element path flagged S when it never stood twice under
    // one parent. Under each path, names follow the order in which they stood
    // together under one element; where documents disagree the first seen
    // order wins, and names never seen together keep first-seen order.
    // One "E,path" or "ES,path" line each, UTF-8 with LF.
    QByteArray text() const;

private:
    struct Shape
    {
        QString name;
        NameOrder attributes;                       // "@name"
        NameOrder children;                         // element names
        std::vector<std::unique_ptr<Shape>> shapes; // by number in children
        bool repeats = false; // stood twice under one parent somewhere
    };

    void addElement(Shape &shape, const TreeNode &node);
    static void write(const Shape &shape, const QString &path, bool root, QByteArray &out);

    std::unique_ptr<Shape> m_root;
};

} // namespace tarnwell
